// The installer's one window: the controls, the choices the user makes, the
// machine's port lists and the state every installation step shares.
#pragma once

#include <atomic>
#include <functional>
#include <vector>

#include "framework/controls.h"
#include "package/ArchiveTool.h"
#include "serial/SerialPort.h"
#include "res/resource.h"

// Registered at start-up ("MyUpdateData"): a status push. wParam FALSE moves
// the members into the controls.
extern const UINT WM_MYUPDATEDATA;

// What a port dialog returns: row n of its list, nothing chosen, or (TCP/IP)
// the port the wizard just created, which is then the first of its list.
constexpr int PORTDLG_FIRST_ROW = 0x1200;
constexpr int PORTDLG_CANCEL = 0xCCCC;
constexpr int PORTDLG_ADDED = 0xAAAA;

// Port types: the rows of the port-type list.
enum { PORT_SERIAL = 0, PORT_USB = 1, PORT_PARALLEL = 2, PORT_TCPIP = 3 };

// ControlSpooler's modes.
enum { SPOOLER_RESTART = 0, SPOOLER_ENSURE_RUNNING = 16 };

// The Windows versions GetOsVersionCode tells apart.
enum {
  OSVER_UNKNOWN = -1,
  OSVER_WIN95 = 1,
  OSVER_WIN98,
  OSVER_WINME,
  OSVER_WINNT4,  // and NT before it
  OSVER_WIN2000,
  OSVER_WINXP,
  OSVER_WIN2003,
  OSVER_VISTA,
  OSVER_WIN7,
  OSVER_WIN8,
  OSVER_WIN81,
  OSVER_WIN10,
};

// How the last press of Install ended, recorded by the code that shows it
// (the button relabelled "&Finish" or "Reinstall", or a refusal), for a
// caller that drives the window without looking at it.
struct CInstallOutcome {
  enum Result {
    PENDING,   // running, or Install not pressed yet
    FINISHED,  // the printer is installed on `port`
    RETRY,     // nothing usable was installed; "Reinstall" offers another try
    REFUSED,   // nothing was installed, or the user chose to leave
  };
  Result result = PENDING;
  CString port;
  // Serial probing that found no printer finishes too, on the first COM
  // port; this is then false.
  bool printerAnswered = true;
  // RETRY, REFUSED: what the user was told.
  CString reason;
};

// Whether the port type chosen at the last Install press had a port.
extern BYTE g_bPortAvailable;

// Deletes a folder with everything in it; TRUE when the folder itself went.
BOOL DeleteFolderTree(const char* folder);

struct ModelDriver;

class CInstallDlg : public CDialog {
 public:
  enum { IDD = IDD_INSTALL_DIALOG };

  explicit CInstallDlg(CWnd* parent = nullptr);
  ~CInstallDlg() override;

  // Makes sure the service runs (SPOOLER_ENSURE_RUNNING) or restarts it
  // (SPOOLER_RESTART, or any other mode).
  void ControlSpooler(const char* serviceName, int mode);

  // Refills the four port lists and pre-selects the port type that suits
  // the machine.
  void EnumeratePorts();
  // The machine's COM ports ("COM3:") from the registry; TRUE when any.
  BOOL EnumerateSerialPorts(CStringArray& ports);

  // Unpacks DriverData.Drv from the current folder into C:\.
  void ExtractDriverPackage();
  // Fills the driver list from the catalogue C:\DriverName.cfg.
  void LoadCatalogue();
  // The model index of the chosen name: the last catalogue section listing
  // it, else the list's selection index.
  void FindDriverIndex();

  // Start-up, run by the worker thread in this order.
  // Tells a user without administrator rights what will fail (first step).
  void WarnWithoutAdministratorRights();
  // Tells the user when Windows Protected Print mode blocks the driver.
  void WarnProtectedPrintMode();
  void DetectPlatform();

  // The port pickers: PORTDLG_FIRST_ROW + n for entry n of the port list,
  // PORTDLG_CANCEL, or (TCP/IP) PORTDLG_ADDED; 0, IDOK or IDCANCEL when a
  // dialog ended without naming a port.
  int ChooseParallelPort();
  int ChooseTcpipPort();

  // A printer's port records, as the spooler keeps them.
  void SetPrinterPort(const char* printerName, CString portName);
  BOOL EnumeratePrinters(CStringArray& names, CStringArray& ports);
  void RewriteSerialPrinterPorts();
  // Keeps the printer list in step with a port just written for a printer.
  void NotePrinterPort(const CString& printerName, const CString& portName);
  // Finds the USB port the new printer answers on.
  void DetectUsbPort();
  // The serial port step; TRUE as it always finishes the installation
  // itself (at once, or when the probing run ends).
  BOOL AssignSerialPort();
  // The system's line settings for a COM port ("COM3:").
  void WritePortSettings(const CString& port);
  // Probes each COM port for the printer, on window timer 1.
  void StartSerialProbe();

  // The two installation paths and what they share.
  enum class DriverKind { Receipt, Label };
  void InstallReceiptDriver();
  void InstallLabelDriver();
  BOOL SelectPortForInstall();
  void CreatePrinterAndFinish(const CString& printerName, const CString& driverName, DriverKind kind);

  // The OSVER_ code of this Windows: OSVER_UNKNOWN when its version cannot
  // be read or is not among the codes; a platform that is neither Windows
  // 9x nor NT counts as Windows 2000.
  int GetOsVersionCode();

  // The port-type list (built once from OnInitDialog).
  void InitPortTypeList();
  void SetPortListStyle();

  // The package the start-up unpacks; empty for DriverData.Drv in the
  // current folder (the window's only road; printer-setup may name one).
  CString m_strPackagePath;

  CArchiveTool m_archive;
  CButton m_btnInstall;
  CProgressCtrl m_progress;
  CComboBox m_cboDriver;
  CListCtrl m_listPortType;
  BOOL m_bSetDefault;
  CString m_strStatus;
  int m_nReceiptGroup4;
  int m_nReceiptGroup3;
  int m_nReceiptGroup2;
  int m_nReceiptGroup1;
  // How many receipt models the four groups hold: model indexes below it
  // are receipt models, the rest label models.
  int ReceiptModelCount() const {
    return m_nReceiptGroup1 + m_nReceiptGroup2 + m_nReceiptGroup3 + m_nReceiptGroup4;
  }
  int m_nDriverIndex;
  int m_nPortType;
  CSerialPort m_serial;
  int m_nBaudRate;
  CStringArray m_arrUsbPorts;
  CStringArray m_arrSerialPorts;
  CStringArray m_arrParallelPorts;
  CStringArray m_arrTcpipPorts;
  CStringArray m_arrPrinterNames;
  CStringArray m_arrPrinterPorts;
  CString m_strPortName;
  BOOL m_bIsWow64;
  // The processor Windows runs on (NATIVE_MACHINE_*), set with m_bIsWow64.
  WORD m_wNativeMachine = 0;
  BOOL m_bReplyReceived;
  int m_nProbePort;
  int m_chParity;
  int m_nDataBits;
  int m_nStopBits;
  DWORD m_dwCommEvents;
  int m_nProbeIndex;
  // The rate written for a serial printer's only COM port, where no rate is
  // asked for: the one the serial question offers first, unless the caller
  // knows the printer's.
  int m_nSinglePortBaudRate;

  const CInstallOutcome& Outcome() const { return m_outcome; }

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;

  // Assigns the status text and shows it (with every other bound member).
  void SetStatus(const char* text);
  // Moves the members into the controls, from any thread.
  void PushUpdate();
  // Ends an installation the user may try again after `reason` was shown:
  // "Reinstall", enabled, progress bar empty.
  void OfferReinstall(const char* reason);
  // Tells the user why nothing was installed and leaves Install usable.
  void RefuseInstall(const char* text);
  // Records an installation that ended without a printer (and not for
  // another try), for the window's callers.
  void NoteRefused(const char* reason);
  // The finish of every installation that reaches its printer: Install
  // relabelled "&Finish" and enabled, the outcome recorded.
  void FinishInstallation();
  // The opening both driver paths share: the chosen port type's port step,
  // then the spooler's driver directory for the machine's word size and
  // its environment name. FALSE when the installation ends there.
  BOOL BeginDriverInstall(CString& driverDirectory, const char*& environment);
  // RefuseInstall once the progress bar may have moved: it empties it.
  void RefuseDriverInstall(const char* text);
  // Copies one package file into place and shows where it went.
  void StageFile(const CString& source, const CString& target);
  // Stages the driver's files into `directory` (each shown as it lands),
  // registers the driver and removes the staged copies but the kept ones.
  // FALSE when the installation ends there.
  BOOL RegisterDriver(const ModelDriver& driver, const CString& directory);
  // The port step of the chosen port type; TRUE when it finishes the
  // installation itself (later, on its own timer).
  BOOL RunPortStep();
  // The serial step's finish, its status line already set: FinishInstallation
  // and the progress bar full.
  void FinishSerialInstallation(bool printerAnswered = true);
  void OnProbeFound();
  void OnProbeNotFound();

  // The driver paths' answer to a refused driver registration.
  void OnDriverRefused(DWORD error, DriverKind kind);

  // Every printer name of the catalogue as the start-up read it, in file
  // order, with the ordinal of its section.
  struct CatalogueName {
    CString name;
    int section;
  };
  std::vector<CatalogueName> m_catalogueNames;

  // Calls `name` for every printer name of the catalogue, in file order,
  // with the ordinal of its section.
  void WalkCatalogue(const std::function<void(int section, const CString& name)>& name);

  static DWORD WINAPI StartupThreadProc(LPVOID param);
  void RunStartup();
  // Set when the window goes away: the worker then skips what is left.
  bool IsClosing() const { return m_bClosing.load(); }

 public:
  LRESULT OnPortReply(WPARAM wParam, LPARAM lParam);
  void OnSelchangeDriver();
  void OnInstall();
  LRESULT OnUpdateDataMsg(WPARAM wParam, LPARAM lParam);
  void OnClose();
  void OnTimer(UINT_PTR id);
  void OnDestroy();

 private:
  HANDLE m_hStartupThread = nullptr;
  // The name the installation created the printer under, for the port
  // steps that move it.
  CString m_strNewPrinter;
  // The port it was created on (the fallback port when the chosen type had
  // none).
  CString m_strCreatedPort;
  // The port it is on now: the created one until a port step moves it.
  CString m_strPrinterPort;
  CInstallOutcome m_outcome;
  // The row the start-up pre-selected, for a first press with no row
  // selected.
  int m_nPresetPortType = PORT_USB;
  bool m_bPortTypeChosen = false;
  std::atomic<bool> m_bClosing{false};

  DECLARE_MESSAGE_MAP()
};
