// The names scripts and test drivers give the dialogs' controls: installer-sim scripts, the UI driver
// of the Wine runs and its Python harness (which parses this file) all read this one list.
// CONTROL_NAMES(X) expands X(name, id) once per name; IDOK and IDCANCEL come from the includer's
// Windows headers. Several names may share an id: the port dialogs reuse the main dialog's.
#pragma once

#include "resource.h"

// clang-format off
#define CONTROL_NAMES(X)                        \
  X("install", IDC_INSTALL)                     \
  X("cancel", IDCANCEL)                         \
  X("driver", IDC_DRIVER_COMBO)                 \
  X("printer-name", IDC_PRINTER_NAME)           \
  X("set-default", IDC_SET_DEFAULT)             \
  X("port-type", IDC_PORT_TYPE_LIST)            \
  X("progress", IDC_PROGRESS)                   \
  X("status", IDC_STATUS)                       \
  X("ok", IDOK)                                 \
  X("port-hint", IDC_PORT_HINT)                 \
  X("port-group", IDC_PORT_GROUP)               \
  X("driver-label", IDC_DRIVER_LABEL)           \
  X("printer-label", IDC_PRINTER_LABEL)         \
  X("port-list", IDC_PORT_LIST)                 \
  X("add-port", IDC_ADD_PORT)                   \
  X("port-prompt", IDC_PORT_PROMPT)             \
  X("configure-port", IDC_CONFIGURE_PORT)       \
  X("delete-port", IDC_DELETE_PORT)             \
  X("select-port", IDC_SELECT_PORT)             \
  X("cancel-port", IDC_CANCEL_PORT)             \
  X("prompt-yes", IDC_PROMPT_YES)               \
  X("baud-rate", IDC_BAUD_RATE)                 \
  X("prompt-no", IDC_PROMPT_NO)
// clang-format on
