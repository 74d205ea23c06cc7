// Fuzz target: the input is the catalogue C:\DriverName.cfg on a simulated
// machine. The real dialog starts up headless (its worker fills the driver
// list from the catalogue), then, on the dialog thread, the catalogue is
// walked again and every listed name is mapped back to its model as Install
// does.
//
// Checked after each run:
//  - the start-up finishes (Install enabled) without a hang;
//  - the driver list holds exactly the walk's names, in order, each at
//    most 127 bytes and non-empty, at most 50 per section, sections in
//    rising order;
//  - the first name is selected, or nothing when the list is empty;
//  - a chosen name maps to the last section that lists it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/InstallDlg.h"
#include "host/headless/ui.h"
#include "host/sim/files.h"
#include "host/sim/machine.h"

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "catalogue_fuzz: invariant broken: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

// Opens the walk to the fuzzer; everything else is the installer's dialog.
class CatalogueDialog : public CInstallDlg {
 public:
  using CInstallDlg::WalkCatalogue;
};

struct Listed {
  int section;
  std::string name;
};

void Inspect(CatalogueDialog& dialog, fw::headless::Ui& ui) {
  std::vector<Listed> walked;
  dialog.WalkCatalogue([&walked](int section, const CString& name) {
    walked.push_back(Listed{section, std::string(name)});
  });

  const fw::headless::Window* combo = ui.Control(IDC_DRIVER_COMBO);
  if (!combo) Fail("no driver list");
  if (combo->items.size() != walked.size()) Fail("the driver list and the walk disagree in length");
  int previousSection = -1, inSection = 0;
  for (size_t i = 0; i < walked.size(); ++i) {
    const Listed& entry = walked[i];
    if (combo->items[i] != entry.name)
      Fail("driver list item " + std::to_string(i) + " is not the walk's name");
    if (entry.name.empty() || entry.name.size() > 127)
      Fail("a name of " + std::to_string(entry.name.size()) + " bytes");
    if (entry.section < previousSection) Fail("sections out of order");
    inSection = entry.section == previousSection ? inSection + 1 : 1;
    if (inSection > 50) Fail("more than 50 names in one section");
    previousSection = entry.section;
  }
  if (combo->curSel != (walked.empty() ? -1 : 0))
    Fail("wrong initial selection " + std::to_string(combo->curSel));

  // Each lookup walks the whole catalogue again, so one is made: the first
  // name listed twice, else the last name.
  std::vector<size_t> probes;
  for (size_t i = 0; i < walked.size() && probes.empty(); ++i)
    for (size_t j = i + 1; j < walked.size() && probes.empty(); ++j)
      if (walked[i].name == walked[j].name) probes.push_back(i);
  if (probes.empty() && !walked.empty()) probes.push_back(walked.size() - 1);
  for (size_t i : probes) {
    int expected = -1;
    for (const Listed& entry : walked)
      if (entry.name == walked[i].name) expected = entry.section;
    dialog.m_cboDriver.SetCurSel(static_cast<int>(i));
    dialog.FindDriverIndex();
    if (dialog.m_nDriverIndex != expected)
      Fail("item " + std::to_string(i) + " maps to model " + std::to_string(dialog.m_nDriverIndex) +
           ", not " + std::to_string(expected));
  }
}

class FuzzUser : public fw::headless::IScriptedUser {
 public:
  explicit FuzzUser(CatalogueDialog& dialog) : m_dialog(dialog) {}
  bool Act(fw::headless::Ui& ui) override {
    const fw::headless::Window* install = ui.Control(IDC_INSTALL);
    if (m_done || !install || !install->enabled) return false;
    m_done = true;
    Inspect(m_dialog, ui);
    ui.PressCloseBox();
    return true;
  }
  int AnswerMessageBox(fw::headless::Ui&, const std::string&, const std::string&, UINT) override {
    return IDOK;
  }
  void OnHang(fw::headless::Ui& ui) override {
    if (!m_done) Fail("the start-up hung");
    ui.PressCloseBox();
  }
  bool done() const { return m_done; }

 private:
  CatalogueDialog& m_dialog;
  bool m_done = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sim::Machine machine{sim::Profile::object()};
  fw::headless::Ui ui(machine);
  machine.Install(&ui);
  machine.SetPortMonitorUser(&ui);
  const std::string text(reinterpret_cast<const char*>(data), size);
  machine.Files().WriteFile("C:\\DriverName.cfg", text);

  CatalogueDialog dialog;
  FuzzUser user(dialog);
  ui.SetUser(&user);
  dialog.DoModal();
  if (!user.done()) Fail("the dialog closed before the start-up finished");
  return 0;
}
