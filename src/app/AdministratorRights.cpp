// The manifest asks for the highest rights the user has, so a standard user
// runs the installer without administrator rights and would meet only
// puzzling failures later. Said once, before the start-up steps that fail.
#include "app/InstallDlg.h"
#include "platform/platform.h"

namespace {

const char kWithoutAdministratorRights[] =
    "The installer is running without administrator rights, so checking and starting the print "
    "spooler service, unpacking the driver package into C:\\ and installing drivers and printers will "
    "fail.\r\n\r\nClose the installer, then right-click it and choose \"Run as administrator\".";

}  // namespace

void CInstallDlg::WarnWithoutAdministratorRights() {
  BOOL administrator = FALSE;
  // When the question cannot be answered the failures still speak for
  // themselves, as they always did.
  if (!plat::System().CheckAdministratorsMembership(&administrator) || administrator) return;
  AfxMessageBox(kWithoutAdministratorRights, MB_OK | MB_ICONWARNING);
}
