#include "UnattendedAnswers.h"

#include "app/InstallDlg.h"
#include "framework/box_answer.h"
#include "ports/SerialPromptDlg.h"

namespace setup {

namespace {

const char* const kFailureCaptions[] = {"Error", "Error prompt", "Fail to select port", "Application Error"};

const char* AnswerName(int answer) {
  switch (answer) {
    case IDCANCEL:
      return "Cancel";
    case IDNO:
      return "No";
    case IDABORT:
      return "Abort";
    default:
      return "OK";
  }
}

int RowOf(const CStringArray& ports, const std::string& port) {
  for (int row = 0; row < ports.GetSize(); ++row)
    if (ports[row].str() == port) return row;
  return -1;
}

}  // namespace

int UnattendedUser::MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  const std::string boxCaption = caption ? caption : "Error";
  const std::string box = boxCaption + ": " + OneLine(text ? text : "");
  const int answer = DismissingAnswer(type);
  m_log.Step("box " + box + " -> " + AnswerName(answer));
  m_last = box;
  for (const char* failure : kFailureCaptions)
    if (boxCaption == failure && m_failure.empty()) m_failure = box;
  return answer;
}

std::string UnattendedUser::FailureBox() { return m_failure; }
std::string UnattendedUser::LastBox() { return m_last; }

void UnattendedUser::Forget() {
  m_failure.clear();
  m_last.clear();
}

bool PortChoiceAnswerer::AnswerModal(CDialog& dialog, INT_PTR* result) {
  switch (dialog.m_nIDTemplate) {
    case IDD_PARALLEL_PORT_DIALOG:
    case IDD_TCPIP_PORT_DIALOG: {
      // Row n of a picker is entry n of the window's list of that kind.
      const bool tcpip = dialog.m_nIDTemplate == IDD_TCPIP_PORT_DIALOG;
      const int row = RowOf(tcpip ? m_dialog.m_arrTcpipPorts : m_dialog.m_arrParallelPorts, m_port);
      *result = row >= 0 ? PORTDLG_FIRST_ROW + row : PORTDLG_CANCEL;
      m_log.Step(std::string(tcpip ? "TCP/IP" : "parallel") + " port picker: " +
                 (row >= 0 ? "chose " + m_port : "no row names " + m_port + ", cancelled"));
      return true;
    }
    case IDD_SERIAL_PROMPT_DIALOG: {
      int row = kPresetBaudRow;
      for (int i = 0; i < static_cast<int>(sizeof kBaudRates / sizeof kBaudRates[0]); ++i)
        if (kBaudRates[i] == m_baudRate) row = i;
      *result = PORTDLG_FIRST_ROW + row;
      m_log.Step("serial question: Yes, probe the COM ports at " + std::to_string(kBaudRates[row]) + " baud");
      return true;
    }
    default:
      // Nothing else may show a window on an unattended run.
      *result = IDCANCEL;
      m_log.Step("dialog " + std::to_string(dialog.m_nIDTemplate) + " closed with Cancel");
      return true;
  }
}

UnattendedScope::UnattendedScope(plat::IUser* user, IModalAnswerer* answerer)
    : m_replacesUser(user != nullptr), m_saved(plat::Current()), m_savedAnswerer(ModalAnswerer()) {
  if (user) {
    plat::Platform platform = m_saved;
    platform.user = user;
    plat::Install(platform);
  }
  SetModalAnswerer(answerer);
}

UnattendedScope::~UnattendedScope() {
  SetModalAnswerer(m_savedAnswerer);
  if (m_replacesUser) plat::Install(m_saved);
}

}  // namespace setup
