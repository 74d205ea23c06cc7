// LD_PRELOAD shim for the Wine runs: COM ports there are pseudo-terminals,
// which answer the modem-status ioctls with ENOTTY, and Wine then aborts
// every WaitCommEvent. Here a pty reports CTS, DSR and carrier as on, and
// takes the modem-line changes without complaint. Built with no C library
// headers so one source serves i386 (without multilib) and amd64.

#define ENOTTY 25
#define TIOCMGET 0x5415
#define TIOCMBIS 0x5416
#define TIOCMBIC 0x5417
#define TIOCMSET 0x5418
#define TIOCM_CTS 0x020
#define TIOCM_CAR 0x040
#define TIOCM_DSR 0x100
#define RTLD_NEXT ((void*)-1l)

typedef __builtin_va_list va_list;
typedef int (*ioctl_fn)(int, unsigned long, void*);

extern void* dlsym(void* handle, const char* name);
extern int* __errno_location(void);

static int answer(const char* name, int fd, unsigned long request, void* arg) {
  ioctl_fn next = (ioctl_fn)dlsym(RTLD_NEXT, name);
  if (!next) {
    *__errno_location() = 38;  // ENOSYS
    return -1;
  }
  int rc = next(fd, request, arg);
  if (rc != -1 || *__errno_location() != ENOTTY) return rc;
  switch (request) {
    case TIOCMGET:
      if (!arg) return rc;
      *(int*)arg = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
      return 0;
    case TIOCMBIS:
    case TIOCMBIC:
    case TIOCMSET:
      return 0;
    default:
      return rc;
  }
}

int ioctl(int fd, unsigned long request, ...) {
  va_list ap;
  __builtin_va_start(ap, request);
  void* arg = __builtin_va_arg(ap, void*);
  __builtin_va_end(ap);
  return answer("ioctl", fd, request, arg);
}

// What 32-bit programs built with 64-bit time call (Debian's 32-bit Wine).
int __ioctl_time64(int fd, unsigned long request, ...) {
  va_list ap;
  __builtin_va_start(ap, request);
  void* arg = __builtin_va_arg(ap, void*);
  __builtin_va_end(ap);
  return answer("__ioctl_time64", fd, request, arg);
}
