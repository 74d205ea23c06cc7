// The driver catalogue C:\DriverName.cfg: one section per model, in the
// order of the model tables, each listing the printer names (PrintName1,
// PrintName2, ...) the user may pick for that model.
#include <cstring>

#include "app/InstallDlg.h"
#include "package/CatalogueLimits.h"
#include "package/PackageLocations.h"
#include "platform/platform.h"

void CInstallDlg::WalkCatalogue(const std::function<void(int section, const CString& name)>& visit) {
  plat::IFiles& files = plat::Files();
  char list[kCatalogueSectionListSize] = {};
  files.GetPrivateProfileSectionNamesA(list, kCatalogueSectionListSize, kCatalogueFile);

  int section = 0;
  size_t start = 0;
  for (size_t position = 0; position < kCatalogueSectionListSize - 1; ++position) {
    if (list[position] != '\0') continue;
    // Section names are at most 99 characters; a longer one is cut here.
    char name[kCatalogueSectionNameSize] = {};
    const size_t length =
        position - start < kCatalogueSectionNameSize - 1 ? position - start : kCatalogueSectionNameSize - 1;
    std::memcpy(name, list + start, length);

    // Names run from PrintName1 up to the first one missing or empty.
    for (int key = 1; key <= kCatalogueMaxNames; ++key) {
      CString keyName;
      keyName.Format("PrintName%d", key);
      char value[kCatalogueNameSize] = {};
      if (files.GetPrivateProfileStringA(name, keyName, nullptr, value, kCatalogueNameSize, kCatalogueFile) ==
          0)
        break;
      visit(section, CString(value));
    }
    ++section;
    if (list[position + 1] == '\0') break;
    start = position + 1;
  }
}

void CInstallDlg::LoadCatalogue() {
  m_cboDriver.ResetContent();
  m_catalogueNames.clear();
  WalkCatalogue([this](int section, const CString& name) {
    m_cboDriver.AddString(name);
    m_catalogueNames.push_back({name, section});
  });
  m_cboDriver.SetCurSel(0);
  OnSelchangeDriver();
  PushUpdate();
}

void CInstallDlg::FindDriverIndex() {
  m_nDriverIndex = m_cboDriver.GetCurSel();
  CString chosen;
  m_cboDriver.GetWindowText(chosen);
  // The names as the start-up read them: the catalogue is the installer's
  // own unpacked copy, and a second walk of it (some seventy profile calls,
  // each opening the file) would find the same. The search goes on after a
  // match: a name in several sections means the last of them.
  for (const CatalogueName& entry : m_catalogueNames)
    if (entry.name == chosen) m_nDriverIndex = entry.section;
}
