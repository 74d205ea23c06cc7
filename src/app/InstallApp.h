// The application object: shows the installer dialog and ends with it.
#pragma once

#include "framework/app.h"

class CInstallApp : public CWinApp {
 public:
  CInstallApp();
  BOOL InitInstance() override;
};

extern CInstallApp theApp;
