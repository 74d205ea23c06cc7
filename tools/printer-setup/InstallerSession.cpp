#include "InstallerSession.h"

#include <algorithm>
#include <cctype>

#include "package/ModelTables.h"
#include "common/no_case.h"

namespace setup {

namespace {

// The start-up waits up to 30 s for each spooler state; an installation
// restarts the spooler several times and probes every COM port.
constexpr DWORD kStartupTimeoutMs = 5 * 60 * 1000;
constexpr DWORD kInstallTimeoutMs = 30 * 60 * 1000;

}  // namespace

std::string ModelDriverName(int index) {
  if (index >= 0 && index < kReceiptModelCount) return kReceiptModels[index].driverName;
  if (index >= kReceiptModelCount && index < kCatalogueSectionCount)
    return kLabelModels[index - kReceiptModelCount].driverName;
  return std::string();
}

bool IsPackageDriver(const std::string& driverName) {
  for (int index = 0; index < kCatalogueSectionCount; ++index)
    if (EqualsNoCase(ModelDriverName(index), driverName)) return true;
  return false;
}

bool IsLabelDriver(const std::string& driverName) {
  for (const LabelModel& model : kLabelModels)
    if (EqualsNoCase(model.driverName, driverName)) return true;
  return false;
}

InstallerSession::InstallerSession(SetupLog& log, const std::string& package)
    : m_log(log), m_answerer(log, m_dialog), m_scope(nullptr, &m_answerer) {
  if (!package.empty()) m_dialog.m_strPackagePath = package;
}

InstallerSession::~InstallerSession() { Close(); }

bool InstallerSession::Start() {
  m_log.Step("starting the installer window (not shown): spooler, ports, package, catalogue");
  if (!m_dialog.CreateHidden()) {
    m_log.CallFailed("creating the installer window", plat::System().GetLastError());
    return false;
  }
  m_open = true;
  const BOOL ready = m_dialog.PumpMessagesUntil(
      [this]() {
        NoteStatus();
        return m_dialog.m_btnInstall.IsWindowEnabled() != FALSE;
      },
      kStartupTimeoutMs);
  NoteStatus();
  const std::string& unpackError = m_dialog.m_archive.LastError();
  if (!unpackError.empty()) m_log.Step("the driver package was not unpacked: " + OneLine(unpackError));
  if (!ready) m_log.Step("the installer window's start-up did not end");
  return ready != FALSE;
}

std::vector<std::string> InstallerSession::Models() {
  std::vector<std::string> names;
  for (int i = 0; i < m_dialog.m_cboDriver.GetCount(); ++i) {
    CString name;
    m_dialog.m_cboDriver.GetLBText(i, name);
    names.push_back(name.str());
  }
  return names;
}

bool InstallerSession::SelectModel(const std::string& name) {
  const std::vector<std::string> names = Models();
  for (size_t i = 0; i < names.size(); ++i) {
    if (!EqualsNoCase(names[i], name)) continue;
    m_dialog.m_cboDriver.SetCurSel(static_cast<int>(i));
    m_dialog.OnSelchangeDriver();
    m_dialog.FindDriverIndex();
    return true;
  }
  return false;
}

int InstallerSession::ModelIndex() { return m_dialog.m_nDriverIndex; }

int InstallerSession::ReceiptModelCount() { return m_dialog.ReceiptModelCount(); }

std::string InstallerSession::DriverName() { return ModelDriverName(ModelIndex()); }

bool InstallerSession::PressInstall() {
  m_log.Step("pressing Install");
  m_dialog.OnInstall();
  // The window records how the installation ended once it has (serial
  // probing included), unless the window itself ended.
  const BOOL ended = m_dialog.PumpMessagesUntil(
      [this]() {
        NoteStatus();
        return m_dialog.HasEnded() || m_dialog.Outcome().result != CInstallOutcome::PENDING;
      },
      kInstallTimeoutMs);
  CString caption;
  m_dialog.m_btnInstall.GetWindowText(caption);
  NoteStatus();
  m_log.Step("Install button \"" + caption.str() + "\"" + (m_dialog.HasEnded() ? "; the window closed" : ""));
  if (!ended) m_log.Step("the installation did not end");
  return ended && !m_dialog.HasEnded() && m_dialog.Outcome().result == CInstallOutcome::FINISHED;
}

void InstallerSession::NoteStatus() {
  const std::string status = m_dialog.m_strStatus.str();
  if (status == m_lastStatus) return;
  m_lastStatus = status;
  m_log.Step("window status: " + OneLine(status));
}

void InstallerSession::Close() {
  if (!m_open) return;
  m_open = false;
  m_dialog.DestroyHidden();
  m_log.Step("installer window closed; the unpacked package removed");
}

}  // namespace setup
