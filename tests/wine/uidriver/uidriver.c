// uidriver: drives a running Win32 dialog from a second process, as a user would, for end-to-end
// runs under Wine. Commands come as arguments (one command per argument) or one per line from a
// script (-f FILE, "-" for stdin). Every command prints one line; the first failed check stops the
// run with exit code 1, a malformed script exits 2 before anything runs.
#define WIN32_LEAN_AND_MEAN
#define _WIN32_WINNT 0x0601
// clang-format off
#include <windows.h>  // first: the other Windows headers need its types
// clang-format on
#include <commctrl.h>
#include <fcntl.h>
#include <io.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <winspool.h>
#include <winsvc.h>

#include "res/control_names.h"

#define MAX_ARGS 4
#define TEXT_MAX 4096

typedef struct {
  int line;
  int argc;  // arguments after the name
  char* name;
  char* args[MAX_ARGS];
} Command;

// Argument kinds, checked before the run: T text, N number, S seconds, B 0|1, A box answer,
// C control (a name from res/control_names.h, or its id).
typedef struct {
  const char* name;
  const char* kinds;  // upper-case: required, lower-case: optional
  int (*run)(char** args);
  const char* usage;
} CommandDef;

static HWND g_window;  // set by wait-window
static DWORD g_pid;    // its process
static HANDLE g_process;
static HWND g_box;             // set by wait-box / expect-box
static LARGE_INTEGER g_click;  // when the last click was posted
static char g_msg[3 * TEXT_MAX];

// ---- output -------------------------------------------------------------------------------------

static int pass(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(g_msg, sizeof g_msg, fmt, ap);
  va_end(ap);
  return 0;
}

static int fail(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(g_msg, sizeof g_msg, fmt, ap);
  va_end(ap);
  return 1;
}

// Quotes a UTF-8 string for the log so blanks and line breaks stay visible; rotating buffers let
// one printf use several.
static const char* quote(const char* s) {
  static char bufs[4][2 * TEXT_MAX + 3];
  static int next;
  char *b = bufs[next++ % 4], *p = b;
  *p++ = '"';
  for (; *s && p < b + sizeof bufs[0] - 4; s++) {
    const char* esc = *s == '"'    ? "\\\""
                      : *s == '\\' ? "\\\\"
                      : *s == '\n' ? "\\n"
                      : *s == '\r' ? "\\r"
                      : *s == '\t' ? "\\t"
                                   : NULL;
    if (esc) {
      memcpy(p, esc, 2);
      p += 2;
    } else {
      *p++ = *s;
    }
  }
  *p++ = '"';
  *p = 0;
  return b;
}

static void to_utf8(const WCHAR* w, char* out, int size) {
  if (!WideCharToMultiByte(CP_UTF8, 0, w, -1, out, size, NULL, NULL)) out[0] = 0;
}

static void to_wide(const char* s, WCHAR* out, int count) {
  if (!MultiByteToWideChar(CP_UTF8, 0, s, -1, out, count)) out[0] = 0;
}

// ---- time ---------------------------------------------------------------------------------------

// A wait's bound, stretched under software emulation (scripts/wine-vm.sh sets WINE_TIME_SCALE; Wine
// passes the Unix environment on): everything there takes several times longer.
static double time_scale(void) {
  static double scale = 0;
  if (scale == 0) {
    const char* text = getenv("WINE_TIME_SCALE");
    scale = text && atof(text) >= 1 ? atof(text) : 1;
  }
  return scale;
}

static DWORD ms_of(double seconds) { return (DWORD)(seconds * time_scale() * 1000.0 + 0.5); }

// Milliseconds from `from` to `to`, from the performance counter: GetTickCount's steps are too
// coarse for a figure of a few hundred milliseconds.
static double ms_between(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return (double)(to.QuadPart - from.QuadPart) * 1000.0 / (double)f.QuadPart;
}
static double since(DWORD start) { return (GetTickCount() - start) / 1000.0; }
static int expired(DWORD start, DWORD ms) { return GetTickCount() - start >= ms; }

// ---- reading the target -------------------------------------------------------------------------

static LRESULT send(HWND h, UINT msg, WPARAM wp, LPARAM lp, int* ok) {
  DWORD_PTR r = 0;
  // A hung target must fail the check, not hang the harness.
  BOOL sent = SendMessageTimeoutW(h, msg, wp, lp, SMTO_ABORTIFHUNG, 2000, &r) != 0;
  if (ok) *ok = sent;
  return (LRESULT)r;
}

// WM_GETTEXT is marshalled across processes and returns what the control shows (edit controls
// included); GetWindowTextW on a foreign window only sees the caption, so it is the fallback.
static void text_of(HWND h, char* out, int size) {
  WCHAR w[TEXT_MAX];
  int ok;
  LRESULT n = send(h, WM_GETTEXT, TEXT_MAX, (LPARAM)w, &ok);
  if (!ok) n = GetWindowTextW(h, w, TEXT_MAX);
  w[n < TEXT_MAX ? n : TEXT_MAX - 1] = 0;
  to_utf8(w, out, size);
}

static void class_of(HWND h, char* out, int size) {
  WCHAR w[256];
  if (!GetClassNameW(h, w, 256)) w[0] = 0;
  to_utf8(w, out, size);
}

static int need_window(void) {
  if (!g_window) return fail("no current window: run wait-window first");
  if (!IsWindow(g_window)) return fail("the window is gone");
  return 0;
}

// Finds control ID of the current window, polling until it exists for up to `ms`.
static HWND control(const char* id_text, DWORD ms) {
  int id = atoi(id_text);
  DWORD start = GetTickCount();
  for (;;) {
    HWND c = IsWindow(g_window) ? GetDlgItem(g_window, id) : NULL;
    if (c || expired(start, ms)) {
      if (!c) fail(IsWindow(g_window) ? "no control %d in the window" : "the window is gone", id);
      return c;
    }
    Sleep(100);
  }
}

// ---- windows ------------------------------------------------------------------------------------

// Makes h the window later commands act on.
static void adopt(HWND h) {
  g_window = h;
  g_box = NULL;
  GetWindowThreadProcessId(h, &g_pid);
  if (g_process) CloseHandle(g_process);
  // Opened now so wait-exit still works once the process is gone.
  g_process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, g_pid);
}

struct titled {
  const WCHAR* title;
  HWND unowned, owned;
};

static BOOL CALLBACK find_titled_proc(HWND h, LPARAM lp) {
  struct titled* t = (struct titled*)lp;
  WCHAR text[TEXT_MAX];
  // A user cannot act on a window before it shows.
  if (!IsWindowVisible(h) || !GetWindowTextW(h, text, TEXT_MAX) || _wcsicmp(text, t->title) != 0) return TRUE;
  if (!GetWindow(h, GW_OWNER)) {
    t->unowned = h;
    return FALSE;
  }
  if (!t->owned) t->owned = h;
  return TRUE;
}

// The visible top-level window titled TITLE. A box the program shows with its own title is owned by
// its window and stands above it, where FindWindow would take it for the window: an unowned match
// comes first, an owned one (a dialog of the program's) only when there is none.
static HWND find_titled(const WCHAR* title) {
  struct titled t = {title, NULL, NULL};
  EnumWindows(find_titled_proc, (LPARAM)&t);
  return t.unowned ? t.unowned : t.owned;
}

static int cmd_wait_window(char** a) {
  WCHAR title[TEXT_MAX];
  DWORD ms = ms_of(atof(a[1])), start = GetTickCount();
  to_wide(a[0], title, TEXT_MAX);
  for (;;) {
    HWND h = find_titled(title);
    if (h) {
      adopt(h);
      return pass("%s shown after %.1fs (pid %lu)", quote(a[0]), since(start), (unsigned long)g_pid);
    }
    if (expired(start, ms)) return fail("no visible window titled %s after %.1fs", quote(a[0]), since(start));
    Sleep(100);
  }
}

// For a step that may or may not open a window: waits until the current window's process shows a
// window titled TITLE (which becomes the current window; the line says "shown") or control ID of
// the current window reads TEXT.
static int cmd_wait_window_or_text(char** a) {
  static char got[TEXT_MAX * 3];
  WCHAR title[TEXT_MAX];
  DWORD ms = ms_of(atof(a[3])), start = GetTickCount(), pid = 0;
  HWND c;
  if (need_window() || !(c = control(a[1], 0))) return 1;
  to_wide(a[0], title, TEXT_MAX);
  for (;;) {
    HWND h = find_titled(title);
    if (h && GetWindowThreadProcessId(h, &pid) && pid == g_pid) {
      adopt(h);
      return pass("%s shown after %.1fs", quote(a[0]), since(start));
    }
    text_of(c, got, sizeof got);
    if (strcmp(got, a[2]) == 0) return pass("%s %s after %.1fs", a[1], quote(got), since(start));
    if (expired(start, ms) || !IsWindow(c))
      return fail("no window %s and %s reads %s, want %s (after %.1fs)", quote(a[0]), a[1], quote(got),
                  quote(a[2]), since(start));
    Sleep(50);
  }
}

static int cmd_close(char** a) {
  (void)a;
  if (need_window()) return 1;
  PostMessageW(g_window, WM_CLOSE, 0, 0);
  return pass("WM_CLOSE posted");
}

static int cmd_wait_gone(char** a) {
  DWORD ms = ms_of(atof(a[0])), start = GetTickCount();
  if (!g_window) return need_window();
  while (IsWindow(g_window)) {
    if (expired(start, ms)) return fail("window still there after %.1fs", since(start));
    Sleep(100);
  }
  return pass("window gone after %.1fs", since(start));
}

static int cmd_wait_exit(char** a) {
  DWORD ms = ms_of(atof(a[0])), start = GetTickCount(), code = 0;
  if (!g_process) return fail("no process handle: run wait-window first");
  if (WaitForSingleObject(g_process, ms) != WAIT_OBJECT_0)
    return fail("process %lu still running after %.1fs", (unsigned long)g_pid, since(start));
  GetExitCodeProcess(g_process, &code);
  if (a[1] && code != strtoul(a[1], NULL, 10))
    return fail("process exited with code %lu, want %s", (unsigned long)code, a[1]);
  return pass("process exited with code %lu after %.1fs", (unsigned long)code, since(start));
}

// ---- control checks -----------------------------------------------------------------------------

static int cmd_expect_text(char** a) {
  static char got[TEXT_MAX * 3];
  DWORD ms = ms_of(atof(a[2])), start = GetTickCount();
  HWND c;
  if (need_window()) return 1;
  if (!(c = control(a[0], ms))) return 1;
  for (;;) {
    text_of(c, got, sizeof got);
    if (strcmp(got, a[1]) == 0) return pass("%s %s after %.1fs", a[0], quote(got), since(start));
    if (expired(start, ms) || !IsWindow(c))
      return fail("%s reads %s, want %s (after %.1fs)", a[0], quote(got), quote(a[1]), since(start));
    Sleep(100);
  }
}

static int cmd_print_text(char** a) {
  static char got[TEXT_MAX * 3];
  HWND c;
  if (need_window() || !(c = control(a[0], 0))) return 1;
  text_of(c, got, sizeof got);
  return pass("%s %s", a[0], quote(got));
}

static int wait_enabled(char** a, BOOL want) {
  DWORD ms = a[1] ? ms_of(atof(a[1])) : 0, start = GetTickCount();
  const char* what = want ? "enabled" : "disabled";
  HWND c;
  if (need_window() || !(c = control(a[0], ms))) return 1;
  for (;;) {
    if (!IsWindowEnabled(c) == !want) return pass("%s %s after %.1fs", a[0], what, since(start));
    if (expired(start, ms) || !IsWindow(c)) return fail("%s not %s after %.1fs", a[0], what, since(start));
    Sleep(100);
  }
}

static int cmd_expect_enabled(char** a) { return wait_enabled(a, TRUE); }
static int cmd_expect_disabled(char** a) { return wait_enabled(a, FALSE); }

// A user cannot press what is hidden or greyed out, and BM_CLICK would press it anyway.
static HWND clickable(const char* id) {
  HWND c = control(id, 0);
  if (!c) return NULL;
  if (!IsWindowVisible(c)) return fail("%s is hidden", id), NULL;
  if (!IsWindowEnabled(c)) return fail("%s is disabled", id), NULL;
  return c;
}

static int cmd_click(char** a) {
  HWND c;
  if (need_window() || !(c = clickable(a[0]))) return 1;
  // Posted: the click may open a modal box, and the driver must stay free to answer it.
  PostMessageW(c, BM_CLICK, 0, 0);
  QueryPerformanceCounter(&g_click);
  return pass("%s clicked", a[0]);
}

// Clicks and waits until the window has handled the click: the button's handler has returned, so
// what it did can be checked at once. A handler that opens a modal window returns only when that
// window closes: use click there.
static int cmd_click_and_wait(char** a) {
  DWORD ms = ms_of(atof(a[1])), start = GetTickCount();
  DWORD_PTR r;
  HWND c;
  if (need_window() || !(c = clickable(a[0]))) return 1;
  QueryPerformanceCounter(&g_click);
  if (!SendMessageTimeoutW(c, BM_CLICK, 0, 0, SMTO_NORMAL, ms, &r))
    return fail("%s: the click was not handled within %.1fs (a modal window open?)", a[0], since(start));
  return pass("%s clicked and handled after %.1fs", a[0], since(start));
}

static int cmd_check(char** a) {
  int want = atoi(a[1]), ok;
  DWORD start = GetTickCount();
  HWND c;
  if (need_window() || !(c = clickable(a[0]))) return 1;
  if ((int)send(c, BM_GETCHECK, 0, 0, &ok) == want) return pass("%s already %d", a[0], want);
  PostMessageW(c, BM_CLICK, 0, 0);
  while ((int)send(c, BM_GETCHECK, 0, 0, &ok) != want) {
    if (expired(start, 3000)) return fail("%s did not become %d", a[0], want);
    Sleep(50);
  }
  return pass("%s set to %d", a[0], want);
}

static int cmd_set_text(char** a) {
  WCHAR w[TEXT_MAX];
  int ok;
  HWND c;
  if (need_window() || !(c = control(a[0], 0))) return 1;
  to_wide(a[1], w, TEXT_MAX);
  send(c, WM_SETTEXT, 0, (LPARAM)w, &ok);
  if (!ok) return fail("%s did not answer WM_SETTEXT", a[0]);
  return pass("%s set to %s", a[0], quote(a[1]));
}

static int cmd_select_combo(char** a) {
  static char got[TEXT_MAX * 3];
  int index = atoi(a[1]), id = atoi(a[0]), ok;
  LRESULT count;
  HWND c;
  if (need_window() || !(c = clickable(a[0]))) return 1;
  count = send(c, CB_GETCOUNT, 0, 0, &ok);
  if (!ok || index >= count) return fail("%s has %d items, cannot select %d", a[0], (int)count, index);
  send(c, CB_SETCURSEL, index, 0, &ok);
  // CB_SETCURSEL alone sends no notification; a user's choice does.
  PostMessageW(GetParent(c), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), (LPARAM)c);
  text_of(c, got, sizeof got);
  return pass("%s item %d %s of %d", a[0], index, quote(got), (int)count);
}

// List view messages carry pointers, which Wine does not marshal: the LVITEM has to live in the
// target's memory. Both sides are 32-bit, so the layout matches.
typedef struct {
  HANDLE process;
  LVITEMW* item;  // in the target, followed by room for the text
} Remote;

#define ROW_TEXT_MAX 260

static int remote_open(Remote* r) {
  BOOL self64 = FALSE, target64 = FALSE;
  r->item = NULL;
  r->process = OpenProcess(
      PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION, FALSE, g_pid);
  if (!r->process) return fail("cannot open process %lu (error %lu)", (unsigned long)g_pid, GetLastError());
  IsWow64Process(GetCurrentProcess(), &self64);
  IsWow64Process(r->process, &target64);
  if (self64 != target64) return CloseHandle(r->process), fail("target is not a 32-bit process");
  r->item = VirtualAllocEx(r->process, NULL, sizeof(LVITEMW) + ROW_TEXT_MAX * sizeof(WCHAR),
                           MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!r->item) return CloseHandle(r->process), fail("VirtualAllocEx failed (error %lu)", GetLastError());
  return 0;
}

static void remote_close(Remote* r) {
  VirtualFreeEx(r->process, r->item, 0, MEM_RELEASE);
  CloseHandle(r->process);
}

static void remote_set_state(Remote* r, HWND c, int row, UINT state) {
  LVITEMW item;
  SIZE_T n;
  memset(&item, 0, sizeof item);
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = state;
  WriteProcessMemory(r->process, r->item, &item, sizeof item, &n);
  send(c, LVM_SETITEMSTATE, (WPARAM)row, (LPARAM)r->item, NULL);
}

static void remote_row_text(Remote* r, HWND c, int row, char* out, int size) {
  LVITEMW item;
  WCHAR text[ROW_TEXT_MAX];
  SIZE_T n;
  int ok;
  memset(&item, 0, sizeof item);
  item.mask = LVIF_TEXT;
  item.pszText = (LPWSTR)(r->item + 1);
  item.cchTextMax = ROW_TEXT_MAX;
  WriteProcessMemory(r->process, r->item, &item, sizeof item, &n);
  text[0] = 0;
  if (send(c, LVM_GETITEMTEXTW, row, (LPARAM)r->item, &ok) >= 0 && ok)
    ReadProcessMemory(r->process, r->item + 1, text, sizeof text, &n);
  text[ROW_TEXT_MAX - 1] = 0;
  to_utf8(text, out, size);
}

// Text of item INDEX of a combo box (marshalled by Wine) or row INDEX of a list view.
static int item_text(HWND c, int index, char* out, int size) {
  char cls[64];
  class_of(c, cls, sizeof cls);
  out[0] = 0;
  if (_stricmp(cls, "SysListView32") == 0) {
    Remote r;
    if (remote_open(&r)) return 1;
    remote_row_text(&r, c, index, out, size);
    remote_close(&r);
    return 0;
  }
  if (_stricmp(cls, "ComboBox") == 0) {
    WCHAR w[TEXT_MAX];
    int ok;
    LRESULT len = send(c, CB_GETLBTEXTLEN, index, 0, &ok);
    if (!ok || len == CB_ERR || len >= TEXT_MAX) return fail("no item %d", index);
    if (send(c, CB_GETLBTEXT, index, (LPARAM)w, &ok) == CB_ERR || !ok) return fail("no item %d", index);
    w[len] = 0;
    to_utf8(w, out, size);
    return 0;
  }
  return fail("a %s has no items", cls);
}

static int item_count(HWND c) {
  char cls[64];
  class_of(c, cls, sizeof cls);
  if (_stricmp(cls, "SysListView32") == 0) return (int)send(c, LVM_GETITEMCOUNT, 0, 0, NULL);
  if (_stricmp(cls, "ComboBox") == 0) return (int)send(c, CB_GETCOUNT, 0, 0, NULL);
  if (_stricmp(cls, "ListBox") == 0) return (int)send(c, LB_GETCOUNT, 0, 0, NULL);
  return -1;
}

static int cmd_select_list_row(char** a) {
  int row = atoi(a[1]), ok, selected;
  LRESULT count;
  HWND c;
  Remote r;
  char text8[1024];

  if (need_window() || !(c = clickable(a[0]))) return 1;
  count = send(c, LVM_GETITEMCOUNT, 0, 0, &ok);
  if (!ok || row >= count) return fail("%s has %d rows, cannot select %d", a[0], (int)count, row);
  if (remote_open(&r)) return 1;
  remote_set_state(&r, c, -1, 0);  // clear every row, as a click does
  remote_set_state(&r, c, row, LVIS_SELECTED | LVIS_FOCUSED);
  send(c, LVM_ENSUREVISIBLE, row, FALSE, &ok);
  selected = (int)send(c, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED, &ok);
  remote_row_text(&r, c, row, text8, sizeof text8);
  remote_close(&r);
  if (selected != row) return fail("%s: row %d not selected (selection is %d)", a[0], row, selected);
  return pass("%s row %d %s of %d", a[0], row, quote(text8), (int)count);
}

// Waits until the list view's first selected row is ROW; the row's text goes to the log.
static int cmd_expect_list_selected(char** a) {
  int row = atoi(a[1]), selected;
  DWORD ms = ms_of(atof(a[2])), start = GetTickCount();
  char text8[1024];
  HWND c;
  if (need_window() || !(c = control(a[0], ms))) return 1;
  for (;;) {
    selected = (int)send(c, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED, NULL);
    if (selected == row || expired(start, ms) || !IsWindow(c)) break;
    Sleep(100);
  }
  if (selected < 0) return fail("%s: no row selected after %.1fs, want %d", a[0], since(start), row);
  if (item_text(c, selected, text8, sizeof text8)) return 1;
  if (selected != row)
    return fail("%s: row %d %s selected after %.1fs, want %d", a[0], selected, quote(text8), since(start),
                row);
  return pass("%s row %d %s selected after %.1fs", a[0], row, quote(text8), since(start));
}

static int cmd_expect_count(char** a) {
  int want = atoi(a[1]), count;
  DWORD ms = ms_of(atof(a[2])), start = GetTickCount();
  HWND c;
  if (need_window() || !(c = control(a[0], ms))) return 1;
  for (;;) {
    count = item_count(c);
    if (count >= want) return pass("%s holds %d items after %.1fs", a[0], count, since(start));
    if (expired(start, ms) || !IsWindow(c))
      return fail("%s holds %d items after %.1fs, want at least %d", a[0], count, since(start), want);
    Sleep(100);
  }
}

static int cmd_expect_item(char** a) {
  static char got[TEXT_MAX * 3];
  int index = atoi(a[1]);
  DWORD ms = ms_of(atof(a[3])), start = GetTickCount();
  HWND c;
  if (need_window() || !(c = control(a[0], ms))) return 1;
  for (;;) {
    got[0] = 0;
    if (index < item_count(c) && item_text(c, index, got, sizeof got) == 0 && strcmp(got, a[2]) == 0)
      return pass("%s item %d %s after %.1fs", a[0], index, quote(got), since(start));
    if (expired(start, ms) || !IsWindow(c))
      return fail("%s item %d reads %s, want %s (after %.1fs)", a[0], index, quote(got), quote(a[2]),
                  since(start));
    Sleep(100);
  }
}

// Selects the combo box item whose text is TEXT exactly, as a user picking it from the list.
static int cmd_select_combo_text(char** a) {
  static char got[TEXT_MAX * 3];
  int id = atoi(a[0]), count, i, ok;
  HWND c;
  if (need_window() || !(c = clickable(a[0]))) return 1;
  count = item_count(c);
  for (i = 0; i < count; i++) {
    if (item_text(c, i, got, sizeof got)) return 1;
    if (strcmp(got, a[1]) != 0) continue;
    send(c, CB_SETCURSEL, i, 0, &ok);
    PostMessageW(GetParent(c), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), (LPARAM)c);
    return pass("%s item %d %s of %d", a[0], i, quote(got), count);
  }
  return fail("%s has no item %s among %d", a[0], quote(a[1]), count);
}

// ---- watching a control while the target is busy ------------------------------------------------
// The installer works inside its button handler, so WM_GETTEXT waits until the handler returns.
// GetWindowTextW on another process's window sends no message: it reads the text the window
// system keeps, which a static control's or a button's SetWindowText updates at once. Read every
// millisecond, it catches a status shown for a few milliseconds (not one shown for less).

static void server_text(HWND h, char* out, int size) {
  WCHAR w[TEXT_MAX];
  int n = GetWindowTextW(h, w, TEXT_MAX);
  w[n > 0 && n < TEXT_MAX ? n : 0] = 0;
  to_utf8(w, out, size);
}

#define SEEN_MAX 200

static struct {
  CRITICAL_SECTION lock;
  HANDLE thread;
  HWND control;
  int id;
  volatile LONG stop;
  int count;
  char* text[SEEN_MAX];
  LARGE_INTEGER at[SEEN_MAX];
} g_watch;

static DWORD WINAPI watch_proc(void* unused) {
  static char got[TEXT_MAX * 3];
  int n;
  (void)unused;
  while (!g_watch.stop && IsWindow(g_watch.control)) {
    server_text(g_watch.control, got, sizeof got);
    EnterCriticalSection(&g_watch.lock);
    n = g_watch.count;
    if (n < SEEN_MAX && (n == 0 || strcmp(g_watch.text[n - 1], got) != 0)) {
      g_watch.text[n] = _strdup(got);
      QueryPerformanceCounter(&g_watch.at[n]);
      g_watch.count = n + 1;
    }
    LeaveCriticalSection(&g_watch.lock);
    Sleep(1);
  }
  return 0;
}

// Records every text control ID of the current window shows from now on (one control at a time).
static int cmd_watch_text(char** a) {
  HWND c;
  if (need_window() || !(c = control(a[0], 0))) return 1;
  if (g_watch.thread) return fail("already watching %d", g_watch.id);
  InitializeCriticalSection(&g_watch.lock);
  g_watch.control = c;
  g_watch.id = atoi(a[0]);
  if (!(g_watch.thread = CreateThread(NULL, 0, watch_proc, NULL, 0, NULL)))
    return fail("CreateThread failed (error %lu)", GetLastError());
  return pass("watching %s", a[0]);
}

// The watched texts so far, each with its time from the last click.
static void seen_list(char* out, size_t size) {
  size_t used = 0;
  int i;
  out[0] = 0;
  EnterCriticalSection(&g_watch.lock);
  for (i = 0; i < g_watch.count && used < size; i++) {
    int n = snprintf(out + used, size - used, "%s%s %+.1f ms", i ? ", " : "", quote(g_watch.text[i]),
                     g_click.QuadPart ? ms_between(g_click, g_watch.at[i]) : 0.0);
    if (n < 0) break;
    used += (size_t)n;
  }
  LeaveCriticalSection(&g_watch.lock);
}

static int not_watched(const char* id) {
  if (g_watch.thread && g_watch.id == atoi(id)) return 0;
  return fail("%s is not watched: run watch-text first", id);
}

// The watched control has shown TEXT, now or since watch-text, waiting up to SECONDS for it.
static int cmd_expect_seen(char** a) {
  static char list[TEXT_MAX * 2];
  DWORD ms = ms_of(atof(a[2])), start = GetTickCount();
  LARGE_INTEGER at;
  int i, count;
  if (not_watched(a[0])) return 1;
  for (;;) {
    EnterCriticalSection(&g_watch.lock);
    count = g_watch.count;
    for (i = 0; i < count && strcmp(g_watch.text[i], a[1]) != 0;) i++;
    if (i < count) at = g_watch.at[i];
    LeaveCriticalSection(&g_watch.lock);
    if (i < count)
      return pass("%s showed %s %.1f ms after the click (text %d of %d)", a[0], quote(a[1]),
                  g_click.QuadPart ? ms_between(g_click, at) : 0.0, i + 1, count);
    if (expired(start, ms)) break;
    Sleep(10);
  }
  seen_list(list, sizeof list);
  return fail("%s never showed %s; it showed %s", a[0], quote(a[1]), list);
}

static int cmd_print_seen(char** a) {
  static char list[TEXT_MAX * 2];
  if (not_watched(a[0])) return 1;
  seen_list(list, sizeof list);
  return pass("%s showed %s", a[0], list);
}

// Waits, reading every millisecond, until control ID shows TEXT; the line gives the time from the
// last click, for timing a step the user starts with that click.
static int cmd_time_to_text(char** a) {
  static char got[TEXT_MAX * 3];
  DWORD ms = ms_of(atof(a[2])), start = GetTickCount();
  LARGE_INTEGER now;
  HWND c;
  if (need_window() || !(c = control(a[0], 0))) return 1;
  if (!g_click.QuadPart) return fail("no click to time from: run click first");
  for (;;) {
    server_text(c, got, sizeof got);
    QueryPerformanceCounter(&now);
    if (strcmp(got, a[1]) == 0)
      return pass("%s %s %.1f ms after the click", a[0], quote(got), ms_between(g_click, now));
    if (expired(start, ms) || !IsWindow(c))
      return fail("%s reads %s, want %s (after %.1fs)", a[0], quote(got), quote(a[1]), since(start));
    Sleep(1);
  }
}

// ---- spooler and services -----------------------------------------------------------------------
// Read from the driver's own process: the same prefix, the same records the installer wrote.

static int cmd_expect_service(char** a) {
  DWORD ms = ms_of(atof(a[2])), start = GetTickCount(), want;
  SC_HANDLE manager, service;
  SERVICE_STATUS status;
  if (_stricmp(a[1], "running") == 0)
    want = SERVICE_RUNNING;
  else if (_stricmp(a[1], "stopped") == 0)
    want = SERVICE_STOPPED;
  else
    return fail("state %s is not running or stopped", quote(a[1]));
  if (!(manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT)))
    return fail("OpenSCManager failed (error %lu)", GetLastError());
  if (!(service = OpenServiceA(manager, a[0], SERVICE_QUERY_STATUS))) {
    DWORD error = GetLastError();
    CloseServiceHandle(manager);
    return fail("no service %s (error %lu)", quote(a[0]), error);
  }
  for (;;) {
    memset(&status, 0, sizeof status);
    if (!QueryServiceStatus(service, &status)) break;
    if (status.dwCurrentState == want || expired(start, ms)) break;
    Sleep(50);
  }
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  if (status.dwCurrentState != want)
    return fail("%s is in state %lu after %.1fs, want %s", a[0], (unsigned long)status.dwCurrentState,
                since(start), a[1]);
  return pass("%s %s after %.1fs", a[0], a[1], since(start));
}

// The spooler's strings are read through the W functions and shown in UTF-8, so a name reads the
// same whatever the ANSI code page of the run is.

// A spooler string in UTF-8, in one of a few rotating buffers.
static const char* utf8_of(const WCHAR* w) {
  static char bufs[8][TEXT_MAX * 3];
  static int next;
  char* b = bufs[next++ % 8];
  if (!w) return "(none)";
  to_utf8(w, b, (int)sizeof bufs[0]);
  return b;
}

// The spooler knows printer NAME, with driver DRIVER on port PORT.
static int cmd_expect_printer(char** a) {
  HANDLE printer = NULL;
  DWORD needed = 0;
  PRINTER_INFO_2W* info;
  WCHAR name[TEXT_MAX];
  const char *driver, *port;
  int r;
  to_wide(a[0], name, TEXT_MAX);
  if (!OpenPrinterW(name, &printer, NULL))
    return fail("no printer %s (error %lu)", quote(a[0]), GetLastError());
  GetPrinterW(printer, 2, NULL, 0, &needed);
  info = malloc(needed ? needed : 1);
  if (!needed || !GetPrinterW(printer, 2, (LPBYTE)info, needed, &needed)) {
    r = fail("GetPrinter on %s failed (error %lu)", quote(a[0]), GetLastError());
  } else {
    driver = info->pDriverName ? utf8_of(info->pDriverName) : "";
    port = info->pPortName ? utf8_of(info->pPortName) : "";
    if (strcmp(driver, a[1]) != 0 || strcmp(port, a[2]) != 0)
      r = fail("driver %s on port %s, want %s on %s", quote(driver), quote(port), quote(a[1]), quote(a[2]));
    else
      r = pass("%s: driver %s, port %s", quote(a[0]), quote(driver), quote(port));
  }
  free(info);
  ClosePrinter(printer);
  return r;
}

// Lists of the spooler's records as "a, b, c", sorted, so a check names the whole set it found.
static int compare_texts(const void* x, const void* y) { return strcmp(*(char* const*)x, *(char* const*)y); }

static void join_sorted(char** items, DWORD count, const char* separator, char* out, size_t size) {
  size_t used = 0;
  DWORD i;
  qsort(items, count, sizeof *items, compare_texts);
  out[0] = 0;
  for (i = 0; i < count && used < size; i++) {
    int n = snprintf(out + used, size - used, "%s%s", i ? separator : "", items[i]);
    if (n < 0) break;
    used += (size_t)n;
  }
}

// Calls an Enum... function twice (size, then data); NULL with g_msg set when it fails.
typedef BOOL(WINAPI* EnumCall)(DWORD level, BYTE* buffer, DWORD size, DWORD* needed, DWORD* count);

static BYTE* enum_records(const char* what, EnumCall call, DWORD level, DWORD* count) {
  DWORD needed = 0;
  BYTE* buffer;
  *count = 0;
  if (call(level, NULL, 0, &needed, count)) return calloc(1, 1);  // none at all
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return fail("%s failed (error %lu)", what, GetLastError()), NULL;
  buffer = malloc(needed);
  if (!call(level, buffer, needed, &needed, count)) {
    free(buffer);
    return fail("%s failed (error %lu)", what, GetLastError()), NULL;
  }
  return buffer;
}

static BOOL WINAPI enum_printers(DWORD level, BYTE* b, DWORD size, DWORD* needed, DWORD* count) {
  return EnumPrintersW(PRINTER_ENUM_LOCAL, NULL, level, b, size, needed, count);
}
static BOOL WINAPI enum_drivers(DWORD level, BYTE* b, DWORD size, DWORD* needed, DWORD* count) {
  return EnumPrinterDriversW(NULL, NULL, level, b, size, needed, count);
}
static BOOL WINAPI enum_monitors(DWORD level, BYTE* b, DWORD size, DWORD* needed, DWORD* count) {
  return EnumMonitorsW(NULL, level, b, size, needed, count);
}
static BOOL WINAPI enum_ports(DWORD level, BYTE* b, DWORD size, DWORD* needed, DWORD* count) {
  return EnumPortsW(NULL, level, b, size, needed, count);
}

// Every local printer as "NAME on PORT", sorted, joined by "; ".
static int printer_list(char* out, size_t size) {
  static char rows[256][600];
  char* items[256];
  DWORD count, i;
  PRINTER_INFO_2W* info = (PRINTER_INFO_2W*)enum_records("EnumPrintersW", enum_printers, 2, &count);
  if (!info) return 1;
  for (i = 0; i < count && i < 256; i++) {
    snprintf(rows[i], sizeof rows[i], "%s on %s", info[i].pPrinterName ? utf8_of(info[i].pPrinterName) : "",
             info[i].pPortName ? utf8_of(info[i].pPortName) : "");
    items[i] = rows[i];
  }
  join_sorted(items, i, "; ", out, size);
  free(info);
  return 0;
}

static int cmd_print_printers(char** a) {
  static char list[TEXT_MAX];
  (void)a;
  if (printer_list(list, sizeof list)) return 1;
  return pass("printers: %s", quote(list));
}

// The spooler's printers are exactly LIST ("NAME on PORT; ...", sorted as print-printers gives it).
static int cmd_expect_printers(char** a) {
  static char list[TEXT_MAX];
  if (printer_list(list, sizeof list)) return 1;
  if (strcmp(list, a[0]) != 0) return fail("printers are %s, want %s", quote(list), quote(a[0]));
  return pass("printers: %s", quote(list));
}

// The names of level-1 records (DRIVER_INFO_1W and MONITOR_INFO_1W are both one name pointer) in
// UTF-8, as pointers into `rows`.
static DWORD names_of(const BYTE* records, DWORD count, char rows[][300], char** items) {
  DWORD i;
  for (i = 0; i < count && i < 256; i++) {
    to_utf8(((const DRIVER_INFO_1W*)records)[i].pName, rows[i], 300);
    items[i] = rows[i];
  }
  return i;
}

// NAME is among the names an Enum... call returns; the line lists them all.
static int expect_named(const char* what, EnumCall call, const char* name) {
  static char list[TEXT_MAX], rows[256][300];
  char* items[256];
  DWORD count, i, n;
  int found = 0;
  BYTE* records = enum_records(what, call, 1, &count);
  if (!records) return 1;
  n = names_of(records, count, rows, items);
  for (i = 0; i < n; i++) found |= strcmp(items[i], name) == 0;
  join_sorted(items, n, ", ", list, sizeof list);
  free(records);
  if (!found) return fail("no %s among %s", quote(name), list);
  return pass("%s among %s", quote(name), list);
}

// What the spooler holds, on one line: printers, drivers and monitors.
static int cmd_print_spooler(char** a) {
  static char printers[TEXT_MAX], names[2][TEXT_MAX], rows[256][300];
  const char* what[2] = {"EnumPrinterDriversW", "EnumMonitorsW"};
  EnumCall calls[2] = {enum_drivers, enum_monitors};
  char* items[256];
  DWORD count, n;
  int k;
  (void)a;
  if (printer_list(printers, sizeof printers)) return 1;
  for (k = 0; k < 2; k++) {
    BYTE* records = enum_records(what[k], calls[k], 1, &count);
    if (!records) return 1;
    n = names_of(records, count, rows, items);
    join_sorted(items, n, ", ", names[k], sizeof names[k]);
    free(records);
  }
  return pass("printers %s, drivers %s, monitors %s", quote(printers), quote(names[0]), quote(names[1]));
}

static int cmd_expect_driver(char** a) { return expect_named("EnumPrinterDriversW", enum_drivers, a[0]); }
static int cmd_expect_monitor(char** a) { return expect_named("EnumMonitorsW", enum_monitors, a[0]); }

// Every port as "NAME (MONITOR: DESCRIPTION)", in the spooler's order.
static int port_list(char* out, size_t size, const char* want, const char** description) {
  size_t used = 0;
  DWORD count, i;
  static char found[TEXT_MAX];
  PORT_INFO_2W* info = (PORT_INFO_2W*)enum_records("EnumPortsW", enum_ports, 2, &count);
  if (!info) return 1;
  out[0] = 0;
  *description = NULL;
  for (i = 0; i < count; i++) {
    const char *name = utf8_of(info[i].pPortName), *d = utf8_of(info[i].pDescription);
    if (used < size) {
      int n = snprintf(out + used, size - used, "%s%s (%s: %s)", i ? ", " : "", name,
                       utf8_of(info[i].pMonitorName), d);
      if (n > 0) used += (size_t)n;
    }
    if (want && strcmp(name, want) == 0) {
      snprintf(found, sizeof found, "%s", d);
      *description = found;
    }
  }
  free(info);
  return 0;
}

static int cmd_print_ports(char** a) {
  static char list[TEXT_MAX];
  const char* unused;
  (void)a;
  if (port_list(list, sizeof list, NULL, &unused)) return 1;
  return pass("ports: %s", list);
}

// EnumPortsW (level 2) lists port NAME with description DESCRIPTION.
static int cmd_expect_port(char** a) {
  static char list[TEXT_MAX];
  const char* description;
  if (port_list(list, sizeof list, a[0], &description)) return 1;
  if (!description) return fail("no port %s among %s", quote(a[0]), list);
  if (strcmp(description, a[1]) != 0)
    return fail("port %s has description %s, want %s", quote(a[0]), quote(description), quote(a[1]));
  return pass("%s: %s", quote(a[0]), quote(description));
}

// ---- message boxes ------------------------------------------------------------------------------

static BOOL CALLBACK find_box_proc(HWND h, LPARAM lp) {
  char cls[64];
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  // A disabled dialog is the owner of a modal window on top of it, not a box to answer.
  if (h == g_window || pid != g_pid || !IsWindowVisible(h) || !IsWindowEnabled(h)) return TRUE;
  class_of(h, cls, sizeof cls);
  if (strcmp(cls, "#32770") != 0) return TRUE;
  *(HWND*)lp = h;  // top of the z-order first: the innermost modal box
  return FALSE;
}

static HWND box_text_control(HWND box) {
  HWND c = GetDlgItem(box, 0xFFFF);
  for (c = c ? c : GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
    if ((GetDlgCtrlID(c) & 0xFFFF) == 0xFFFF) return c;
  return NULL;
}

// Waits for a box of the target process; with `want`, for one whose text equals it.
static int wait_box(const char* want, double seconds) {
  static char caption[TEXT_MAX], text[TEXT_MAX * 3];
  DWORD ms = ms_of(seconds), start = GetTickCount();
  if (!g_pid) return need_window();
  for (;;) {
    HWND box = NULL, t;
    EnumWindows(find_box_proc, (LPARAM)&box);
    if (box) {
      text_of(box, caption, sizeof caption);
      text[0] = 0;
      if ((t = box_text_control(box))) text_of(t, text, sizeof text);
      if (!want || strcmp(text, want) == 0) {
        g_box = box;
        // "owned": modal to the window, which waits for the answer.
        return pass("%s %s after %.1fs%s", quote(caption), quote(text), since(start),
                    GetWindow(box, GW_OWNER) == g_window ? ", owned by the window" : "");
      }
    }
    if (expired(start, ms)) {
      if (box) return fail("box %s says %s, want %s", quote(caption), quote(text), quote(want));
      return fail("no message box after %.1fs", since(start));
    }
    Sleep(100);
  }
}

static int cmd_wait_box(char** a) { return wait_box(NULL, atof(a[0])); }
static int cmd_expect_box(char** a) { return wait_box(a[0], atof(a[1])); }

static const struct {
  const char* name;
  int id;
} g_answers[] = {{"IDOK", IDOK},         {"IDCANCEL", IDCANCEL}, {"IDABORT", IDABORT}, {"IDRETRY", IDRETRY},
                 {"IDIGNORE", IDIGNORE}, {"IDYES", IDYES},       {"IDNO", IDNO},       {"IDCLOSE", IDCLOSE},
                 {"IDHELP", IDHELP},     {"IDTRYAGAIN", 10},     {"IDCONTINUE", 11}};

static int answer_id(const char* name) {
  size_t i;
  for (i = 0; i < sizeof g_answers / sizeof g_answers[0]; i++)
    if (_stricmp(name, g_answers[i].name) == 0) return g_answers[i].id;
  return 0;
}

static int cmd_answer_box(char** a) {
  HWND button;
  DWORD start = GetTickCount();
  if ((!g_box || !IsWindow(g_box)) && wait_box(NULL, 0)) return 1;
  if (!(button = GetDlgItem(g_box, answer_id(a[0])))) return fail("the box has no %s button", a[0]);
  PostMessageW(button, BM_CLICK, 0, 0);
  // The box closing is the proof the answer was taken.
  while (IsWindow(g_box) && IsWindowVisible(g_box)) {
    if (expired(start, 5000)) return fail("box still open 5s after %s", a[0]);
    Sleep(50);
  }
  g_box = NULL;
  return pass("%s", a[0]);
}

// ---- layout -------------------------------------------------------------------------------------
// What the screen shows at the display's DPI: sizes in pixels, and whether list texts fit their
// columns. The list view measures with its own font (LVM_GETSTRINGWIDTHW), so the figure is the
// one it paints with.

// Room a list view keeps beside a cell's text, left and right together.
#define CELL_PADDING 12

static int column_count(HWND list) {
  HWND header = (HWND)send(list, LVM_GETHEADER, 0, 0, NULL);
  return header ? (int)send(header, HDM_GETITEMCOUNT, 0, 0, NULL) : 0;
}

static int cmd_expect_column_width(char** a) {
  int column = atoi(a[1]), want = atoi(a[2]), got;
  HWND c;
  if (need_window() || !(c = control(a[0], 0))) return 1;
  if (column >= column_count(c))
    return fail("%s has %d columns, no column %d", a[0], column_count(c), column);
  got = (int)send(c, LVM_GETCOLUMNWIDTH, column, 0, NULL);
  if (got != want) return fail("%s column %d is %d px wide, want %d", a[0], column, got, want);
  return pass("%s column %d %d px", a[0], column, got);
}

// The width the list view gives TEXT in its font, the text written into the target first.
static int remote_string_width(Remote* r, HWND list, const char* text) {
  WCHAR w[ROW_TEXT_MAX];
  SIZE_T n;
  to_wide(text, w, ROW_TEXT_MAX);
  if (!WriteProcessMemory(r->process, r->item + 1, w, sizeof w, &n)) return -1;
  return (int)send(list, LVM_GETSTRINGWIDTHW, 0, (LPARAM)(r->item + 1), NULL);
}

// Every cell's text of list ID fits its column.
static int cmd_expect_columns_fit(char** a) {
  static char text[TEXT_MAX * 3], widest[TEXT_MAX * 3];
  int columns, rows, row, column, width, need, room, most = 0, rc = 0;
  HWND c;
  Remote r;
  if (need_window() || !(c = control(a[0], 0))) return 1;
  columns = column_count(c);
  rows = (int)send(c, LVM_GETITEMCOUNT, 0, 0, NULL);
  if (columns <= 0 || rows <= 0) return fail("%s has %d columns and %d rows", a[0], columns, rows);
  if (remote_open(&r)) return 1;
  for (column = 0; column < columns && !rc; column++) {
    room = (int)send(c, LVM_GETCOLUMNWIDTH, column, 0, NULL);
    for (row = 0; row < rows && !rc; row++) {
      LVITEMW item;
      SIZE_T n;
      WCHAR w[ROW_TEXT_MAX];
      memset(&item, 0, sizeof item);
      item.iSubItem = column;
      item.pszText = (LPWSTR)(r.item + 1);
      item.cchTextMax = ROW_TEXT_MAX;
      WriteProcessMemory(r.process, r.item, &item, sizeof item, &n);
      w[0] = 0;
      if (send(c, LVM_GETITEMTEXTW, row, (LPARAM)r.item, NULL) > 0)
        ReadProcessMemory(r.process, r.item + 1, w, sizeof w, &n);
      w[ROW_TEXT_MAX - 1] = 0;
      to_utf8(w, text, sizeof text);
      width = remote_string_width(&r, c, text);
      need = width + CELL_PADDING;
      if (width < 0) {
        rc = fail("cannot measure %s", quote(text));
      } else if (need > room) {
        rc = fail("%s row %d column %d: %s needs %d px, the column has %d", a[0], row, column, quote(text),
                  need, room);
      } else if (need > most) {
        most = need;
        snprintf(widest, sizeof widest, "%s", text);
      }
    }
  }
  remote_close(&r);
  return rc ? 1
            : pass("%d rows x %d columns fit; widest %s, %d px with padding", rows, columns, quote(widest),
                   most);
}

// Sends the current window WM_DPICHANGED for DPI, as Windows does when a per-monitor aware window
// moves to a monitor of that DPI; the suggested rectangle (the window's own) lives in the target.
static int cmd_send_dpi_changed(char** a) {
  int dpi = atoi(a[0]), ok;
  RECT rect;
  SIZE_T n;
  Remote r;
  if (need_window()) return 1;
  if (dpi <= 0 || dpi > 0xFFFF) return fail("DPI %s out of range", a[0]);
  if (!GetWindowRect(g_window, &rect)) return fail("no window rectangle (error %lu)", GetLastError());
  if (remote_open(&r)) return 1;
  if (!WriteProcessMemory(r.process, r.item, &rect, sizeof rect, &n))
    return remote_close(&r), fail("cannot write the rectangle (error %lu)", GetLastError());
  send(g_window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), (LPARAM)r.item, &ok);
  remote_close(&r);
  return ok ? pass("WM_DPICHANGED %d sent", dpi) : fail("WM_DPICHANGED %d not delivered", dpi);
}

// The current window's outer and client sizes, as "window WxH client WxH".
static int cmd_print_size(char** a) {
  RECT outer, client;
  (void)a;
  if (need_window()) return 1;
  if (!GetWindowRect(g_window, &outer) || !GetClientRect(g_window, &client))
    return fail("no size (error %lu)", GetLastError());
  return pass("window %ldx%ld client %ldx%ld", outer.right - outer.left, outer.bottom - outer.top,
              client.right, client.bottom);
}

// ---- dump ---------------------------------------------------------------------------------------

static int is_check_box(HWND c) {
  LONG type = GetWindowLongW(c, GWL_STYLE) & BS_TYPEMASK;
  return (type >= BS_CHECKBOX && type <= BS_AUTO3STATE) || type == BS_AUTORADIOBUTTON;
}

static BOOL CALLBACK dump_proc(HWND c, LPARAM lp) {
  static char cls[256], text[TEXT_MAX * 3];
  char extra[64] = "";
  (void)lp;
  class_of(c, cls, sizeof cls);
  text_of(c, text, sizeof text);
  if (_stricmp(cls, "ComboBox") == 0)
    snprintf(extra, sizeof extra, " items=%d sel=%d", (int)send(c, CB_GETCOUNT, 0, 0, NULL),
             (int)send(c, CB_GETCURSEL, 0, 0, NULL));
  else if (_stricmp(cls, "SysListView32") == 0)
    snprintf(extra, sizeof extra, " rows=%d sel=%d", (int)send(c, LVM_GETITEMCOUNT, 0, 0, NULL),
             (int)send(c, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED, NULL));
  else if (_stricmp(cls, "Button") == 0 && is_check_box(c))
    snprintf(extra, sizeof extra, " checked=%d", (int)send(c, BM_GETCHECK, 0, 0, NULL));
  printf("  %5d %-18s %s %s%s%s\n", GetDlgCtrlID(c) & 0xFFFF, cls, quote(text),
         IsWindowEnabled(c) ? "enabled" : "disabled", IsWindowVisible(c) ? "" : " hidden", extra);
  return TRUE;
}

static int dump(HWND h) {
  static char title[TEXT_MAX];
  text_of(h, title, sizeof title);
  printf("dump %s\n", quote(title));
  EnumChildWindows(h, dump_proc, 0);
  return pass("end of dump");
}

static int cmd_dump(char** a) {
  (void)a;
  return need_window() ? 1 : dump(g_window);
}

static int cmd_dump_box(char** a) {
  (void)a;
  if ((!g_box || !IsWindow(g_box)) && wait_box(NULL, 0)) return 1;
  return dump(g_box);
}

static int cmd_sleep(char** a) {
  Sleep((DWORD)(atof(a[0]) * 1000.0 + 0.5));  // a pause asked for, not a bound
  return pass("%ss", a[0]);
}

static const CommandDef g_commands[] = {
    {"wait-window", "TS", cmd_wait_window, "TITLE SECONDS"},
    {"wait-window-or-text", "TCTS", cmd_wait_window_or_text, "TITLE CONTROL TEXT SECONDS"},
    {"expect-text", "CTS", cmd_expect_text, "CONTROL TEXT SECONDS"},
    {"print-text", "C", cmd_print_text, "CONTROL"},
    {"expect-enabled", "CS", cmd_expect_enabled, "CONTROL SECONDS"},
    {"expect-disabled", "Cs", cmd_expect_disabled, "CONTROL [SECONDS]"},
    {"click", "C", cmd_click, "CONTROL"},
    {"click-and-wait", "CS", cmd_click_and_wait, "CONTROL SECONDS"},
    {"select-combo", "CN", cmd_select_combo, "CONTROL INDEX"},
    {"select-list-row", "CN", cmd_select_list_row, "CONTROL ROW"},
    {"expect-list-selected", "CNS", cmd_expect_list_selected, "CONTROL ROW SECONDS"},
    {"expect-count", "CNS", cmd_expect_count, "CONTROL MIN SECONDS"},
    {"expect-item", "CNTS", cmd_expect_item, "CONTROL INDEX TEXT SECONDS"},
    {"select-combo-text", "CT", cmd_select_combo_text, "CONTROL TEXT"},
    {"expect-service", "TTS", cmd_expect_service, "NAME running|stopped SECONDS"},
    {"expect-printer", "TTT", cmd_expect_printer, "NAME DRIVER PORT"},
    {"expect-printers", "T", cmd_expect_printers, "\"NAME on PORT; ...\" (sorted, as print-printers)"},
    {"print-printers", "", cmd_print_printers, ""},
    {"print-spooler", "", cmd_print_spooler, ""},
    {"expect-driver", "T", cmd_expect_driver, "NAME"},
    {"expect-monitor", "T", cmd_expect_monitor, "NAME"},
    {"expect-port", "TT", cmd_expect_port, "NAME DESCRIPTION"},
    {"print-ports", "", cmd_print_ports, ""},
    {"watch-text", "C", cmd_watch_text, "CONTROL"},
    {"expect-seen", "CTS", cmd_expect_seen, "CONTROL TEXT SECONDS"},
    {"print-seen", "C", cmd_print_seen, "CONTROL"},
    {"time-to-text", "CTS", cmd_time_to_text, "CONTROL TEXT SECONDS"},
    {"set-text", "CT", cmd_set_text, "CONTROL TEXT"},
    {"check", "CB", cmd_check, "CONTROL 0|1"},
    {"wait-box", "S", cmd_wait_box, "SECONDS"},
    {"expect-box", "TS", cmd_expect_box, "TEXT SECONDS"},
    {"answer-box", "A", cmd_answer_box, "IDOK|IDCANCEL|IDYES|IDNO|IDRETRY|IDABORT|IDIGNORE|..."},
    {"close", "", cmd_close, ""},
    {"wait-gone", "S", cmd_wait_gone, "SECONDS"},
    {"wait-exit", "Sn", cmd_wait_exit, "SECONDS [EXITCODE]"},
    {"expect-column-width", "CNN", cmd_expect_column_width, "CONTROL COLUMN PIXELS"},
    {"expect-columns-fit", "C", cmd_expect_columns_fit, "CONTROL"},
    {"print-size", "", cmd_print_size, ""},
    {"send-dpi-changed", "N", cmd_send_dpi_changed, "DPI"},
    {"dump", "", cmd_dump, ""},
    {"dump-box", "", cmd_dump_box, ""},
    {"sleep", "S", cmd_sleep, "SECONDS"},
};
#define COMMAND_COUNT (sizeof g_commands / sizeof g_commands[0])

// ---- parsing ------------------------------------------------------------------------------------

// Splits a line into words: blanks separate, "..." keeps blanks and takes \" \\ \n \r \t, '...' is
// literal. Returns the word count, or -1 with g_msg set.
static int split(const char* s, char** words, int max) {
  int n = 0;
  for (;;) {
    char *w, *o;
    while (*s == ' ' || *s == '\t' || *s == '\r' || *s == '\n') s++;
    if (!*s) return n;
    if (n == max) return fail("too many words"), -1;
    w = o = malloc(strlen(s) + 1);
    while (*s && *s != ' ' && *s != '\t' && *s != '\r' && *s != '\n') {
      char q = *s;
      if (q != '"' && q != '\'') {
        *o++ = *s++;
        continue;
      }
      for (s++; *s && *s != q; s++) {
        if (q == '"' && *s == '\\' && s[1]) {
          s++;
          *o++ = *s == 'n' ? '\n' : *s == 'r' ? '\r' : *s == 't' ? '\t' : *s;
        } else {
          *o++ = *s;
        }
      }
      if (!*s) return fail("unterminated %c quote", q), -1;
      s++;
    }
    *o = 0;
    words[n++] = w;
  }
}

#define CONTROL_ENTRY(name, id) {name, id},
static const struct {
  const char* name;
  int id;
} g_controls[] = {CONTROL_NAMES(CONTROL_ENTRY)};
#undef CONTROL_ENTRY

// The id a control name stands for, 0 for an unknown name.
static int control_id(const char* name) {
  size_t i;
  for (i = 0; i < sizeof g_controls / sizeof g_controls[0]; i++)
    if (strcmp(name, g_controls[i].name) == 0) return g_controls[i].id;
  return 0;
}

static int valid_arg(char kind, const char* s) {
  char* end;
  switch (kind) {
    case 'C':
      return control_id(s) || valid_arg('N', s);
    case 'N':
      return *s && strtoul(s, &end, 10) <= 0x7FFFFFFF && !*end && *s != '-';
    case 'S':
      return *s && strtod(s, &end) >= 0 && !*end;
    case 'B':
      return strcmp(s, "0") == 0 || strcmp(s, "1") == 0;
    case 'A':
      return answer_id(s) != 0;
    default:
      return 1;
  }
}

static const CommandDef* lookup(const char* name) {
  size_t i;
  for (i = 0; i < COMMAND_COUNT; i++)
    if (strcmp(name, g_commands[i].name) == 0) return &g_commands[i];
  return NULL;
}

static int parse(const char* text, int line, Command* cmd) {
  char* words[MAX_ARGS + 2];
  int n = split(text, words, MAX_ARGS + 2), i, required = 0;
  const CommandDef* def;
  if (n < 0) return 1;
  memset(cmd, 0, sizeof *cmd);
  cmd->line = line;
  if (n == 0) return 0;
  cmd->name = words[0];
  cmd->argc = n - 1;
  if (!(def = lookup(words[0]))) return fail("unknown command %s", quote(words[0]));
  for (i = 0; def->kinds[i]; i++) required += def->kinds[i] >= 'A' && def->kinds[i] <= 'Z';
  if (cmd->argc < required || cmd->argc > (int)strlen(def->kinds))
    return fail("usage: %s %s", def->name, def->usage);
  for (i = 0; i < cmd->argc; i++) {
    char kind = (char)(def->kinds[i] & ~0x20);
    cmd->args[i] = words[i + 1];
    if (!valid_arg(kind, words[i + 1]))
      return fail("%s: bad argument %s (usage: %s %s)", def->name, quote(words[i + 1]), def->name,
                  def->usage);
    // The commands take ids: a name becomes its id's digits here, once.
    if (kind == 'C' && control_id(words[i + 1])) {
      cmd->args[i] = malloc(12);
      snprintf(cmd->args[i], 12, "%d", control_id(words[i + 1]));
    }
  }
  return 0;
}

// Reads the script; Unix paths are tried through drive Z: as well, where Wine maps the root.
static char* read_script(const WCHAR* path) {
  HANDLE f = wcscmp(path, L"-") == 0
                 ? GetStdHandle(STD_INPUT_HANDLE)
                 : CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  char* buf;
  DWORD size, got = 0;
  if (f == INVALID_HANDLE_VALUE && path[0] == L'/') {
    WCHAR z[MAX_PATH + 3] = L"Z:";
    wcsncat(z, path, MAX_PATH);
    f = CreateFileW(z, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  }
  if (f == INVALID_HANDLE_VALUE) return NULL;
  size = 1 << 16;
  buf = malloc(size + 1);
  for (;;) {
    DWORD n = 0;
    if (got == size) buf = realloc(buf, (size *= 2) + 1);
    if (!ReadFile(f, buf + got, size - got, &n, NULL) || n == 0) break;
    got += n;
  }
  buf[got] = 0;
  return strncmp(buf, "\xEF\xBB\xBF", 3) == 0 ? buf + 3 : buf;
}

static void usage(void) {
  size_t i;
  fprintf(stderr,
          "usage: uidriver.exe COMMAND... | -f SCRIPT\n"
          "  each argument (or script line) is one command; '#' starts a comment line;\n"
          "  quote words with blanks: \"...\" (with \\\" \\\\ \\n \\t) or '...'\n");
  for (i = 0; i < COMMAND_COUNT; i++) fprintf(stderr, "  %s %s\n", g_commands[i].name, g_commands[i].usage);
  fprintf(stderr, "CONTROL is an id or one of:");
  for (i = 0; i < sizeof g_controls / sizeof g_controls[0]; i++) fprintf(stderr, " %s", g_controls[i].name);
  fprintf(stderr, "\n");
}

int wmain(int argc, WCHAR** argv) {
  Command* cmds;
  int count = 0, i, failed = 0;
  DWORD start = GetTickCount();
  char* script = NULL;

  _setmode(_fileno(stdout), _O_BINARY);  // UTF-8 bytes and \n as they are
  // Sizes as the screen has them: a DPI-unaware caller gets window rectangles scaled to 96 DPI.
  SetProcessDPIAware();
  if (argc < 2 || wcscmp(argv[1], L"-h") == 0 || wcscmp(argv[1], L"--help") == 0) return usage(), 2;
  if (wcscmp(argv[1], L"-f") == 0) {
    if (argc != 3) return usage(), 2;
    if (!(script = read_script(argv[2]))) {
      fprintf(stderr, "uidriver: cannot read script %ls\n", argv[2]);
      return 2;
    }
  }

  // Parse everything first: a typo must not surface after a minute of waiting.
  cmds = calloc(script ? strlen(script) + 1 : (size_t)argc, sizeof *cmds);
  for (i = 1; script ? *script != 0 : i < argc; i++) {
    char line[TEXT_MAX * 3];
    if (script) {
      size_t len = strcspn(script, "\n");
      snprintf(line, sizeof line, "%.*s", (int)len, script);
      script += len + (script[len] == '\n');
    } else {
      to_utf8(argv[i], line, sizeof line);
    }
    if (line[strspn(line, " \t\r")] == '#') continue;
    if (parse(line, i, &cmds[count])) {
      fprintf(stderr, "uidriver: %s %d: %s\n", script ? "line" : "argument", i, g_msg);
      return 2;
    }
    if (cmds[count].name) count++;
  }

  for (i = 0; i < count && !failed; i++) {
    failed = lookup(cmds[i].name)->run(cmds[i].args);
    printf("%-4s %s: %s\n", failed ? "FAIL" : "ok", cmds[i].name, g_msg);
    fflush(stdout);
  }
  if (failed) {
    fprintf(stderr, "uidriver: check failed at %s %d (%s)\n", script ? "line" : "argument", cmds[i - 1].line,
            cmds[i - 1].name);
    return 1;
  }
  printf("ok   %d commands in %.1fs\n", count, since(start));
  return 0;
}
