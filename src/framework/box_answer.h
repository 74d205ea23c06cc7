// The answer a message box gets when nobody is there to choose: Abort, No
// or Cancel where the box offers one, else OK. Never Retry, which could ask
// for ever.
#pragma once

#include "framework/ui_types.h"

inline int DismissingAnswer(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_ABORTRETRYIGNORE:
      return IDABORT;
    case MB_YESNO:
      return IDNO;
    case MB_OKCANCEL:
    case MB_YESNOCANCEL:
    case MB_RETRYCANCEL:
      return IDCANCEL;
    default:
      return IDOK;
  }
}
