#include "platform/win32/win32_platform.h"

#include "platform/win32/win32_services.h"

namespace plat {

void InstallWin32Platform() {
  win32::HardenDllSearch();
  Platform platform;
  platform.system = &win32::SystemService();
  platform.threads = &win32::ThreadsService();
  platform.registry = &win32::RegistryService();
  platform.files = &win32::FilesService();
  platform.services = &win32::ServicesService();
  platform.spooler = &win32::SpoolerService();
  platform.user = &win32::UserService();
  platform.comm = &win32::CommService();
  platform.network = &win32::NetworkService();
  platform.drawing = &win32::PrinterDrawingService();
  Install(platform);
}

}  // namespace plat
