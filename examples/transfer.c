/* transfer.c: an upload and a download through a script's file sections,
 * with the progress that the library reports while the files move.
 *
 *   transfer HOST PORT FILE_PORT CREDENTIALS
 *
 * It writes qvn-example-up.bin (1 MiB) in the current folder, uploads it as
 * ..\examples\qvn-example.bin, downloads that back to qvn-example-down.bin,
 * compares the two and removes them.
 *
 * Script returns as soon as the transfers have started; they run on a thread
 * of the library's, which reports to a window: on Linux a QvnWindow whose proc
 * the library calls on that thread, on Windows a real window (here a
 * message-only one) that receives the messages through its message loop.
 * Each entry's outcome and one last "done" message end the wait.
 */
#if defined(_WIN32)
#  include <windows.h>
#else
#  define _POSIX_C_SOURCE 200809L /* clock_gettime under -std=c11 */
#  include <pthread.h>
#  include <time.h>
#endif
#include <qvn.h>
#include <qvn_utf8.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define UP_FILE "qvn-example-up.bin"
#define DOWN_FILE "qvn-example-down.bin"
#define FILE_SIZE (1024L * 1024L)
#define WAIT_SECONDS 60

/* Prints one progress text "client*server*size*count*percent%*tag*index*Upload|Download".
 * The six fixed fields are taken from the right: file names may hold "*". */
static void print_progress(const qvn_char* text) {
  char* s = qvn_to_utf8(text);
  char* f[6] = {0}; /* direction, index, tag, percent, count, size */
  int k = 0;
  for (char* star; s != NULL && k < 6 && (star = strrchr(s, '*')) != NULL; ++k) {
    *star = 0;
    f[k] = star + 1;
  }
  if (k == 6) {
    printf("%-8s %8s of %s bytes  %s\n", f[0], f[4], f[5], f[3]);
    fflush(stdout);
  }
  free(s);
}

/* The three messages a transfer sends; their numbers differ by platform. */
enum { MESSAGE_OTHER, MESSAGE_PROGRESS, MESSAGE_OUTCOME, MESSAGE_DONE };

/* Handles one message; returns nonzero once the transfers are over. */
static int on_message(int kind, intptr_t lparam) {
  if (kind == MESSAGE_OUTCOME) {
    const QvnTransferOutcome* o = (const QvnTransferOutcome*)lparam;
    char* name = qvn_to_utf8(o->client_file);
    char* reason = qvn_to_utf8(o->reason);
    if (o->status != QVN_TRANSFER_COMPLETED) printf("%s did not complete: %s\n", name, reason);
    free(name);
    free(reason);
    return 0;
  }
  /* Every entry has ended, well or not; lparam counts those that did not complete. */
  if (kind == MESSAGE_DONE) return lparam == 0 ? 1 : -1;
  if (kind == MESSAGE_PROGRESS) print_progress((const qvn_char*)lparam);
  return 0;
}

/* 0 while the transfers run, 1 once all arrived, -1 when one did not. */
static int g_done;

#if defined(_WIN32)

/* The outcome and done messages are registered window messages: their
 * numbers come from their names, and a window procedure that does not know
 * them passes them to DefWindowProcW. */
static UINT g_outcome_message, g_done_message;

static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  int kind = message == QVN_WM_TRANSFER_PROGRESS              ? MESSAGE_PROGRESS
             : message != 0 && message == g_outcome_message ? MESSAGE_OUTCOME
             : message != 0 && message == g_done_message    ? MESSAGE_DONE
                                                            : MESSAGE_OTHER;
  if (kind != MESSAGE_OTHER) {
    int done = on_message(kind, lparam);
    if (done != 0) {
      g_done = done;
      PostQuitMessage(0); /* a sent message alone does not end GetMessageW */
    }
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

/* A message-only window on this thread; SendMessageW from the library's
 * thread is delivered while this thread waits in GetMessageW. */
static void* open_window(void) {
  g_outcome_message = RegisterWindowMessageW(QVN_WM_TRANSFER_OUTCOME_NAME);
  g_done_message = RegisterWindowMessageW(QVN_WM_TRANSFERS_DONE_NAME);
  WNDCLASSW wc = {0};
  wc.lpfnWndProc = window_proc;
  wc.hInstance = GetModuleHandleW(NULL);
  wc.lpszClassName = L"qvn-example-progress";
  RegisterClassW(&wc);
  return CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                         wc.hInstance, NULL);
}

static int wait_until_done(void* window) {
  UINT_PTR timer = SetTimer((HWND)window, 1, WAIT_SECONDS * 1000, NULL);
  MSG msg;
  while (!g_done && GetMessageW(&msg, NULL, 0, 0) > 0) {
    if (msg.message == WM_TIMER && msg.wParam == timer) break;
    DispatchMessageW(&msg);
  }
  KillTimer((HWND)window, timer);
  DestroyWindow((HWND)window);
  return g_done > 0;
}

#else

static pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t g_changed = PTHREAD_COND_INITIALIZER;
static QvnWindow g_window;

/* Called on the library's transfer thread; the text is valid during the call only. */
static intptr_t window_proc(void* context, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  (void)context;
  (void)wparam;
  int kind = message == QVN_WM_TRANSFER_PROGRESS  ? MESSAGE_PROGRESS
             : message == QVN_WM_TRANSFER_OUTCOME ? MESSAGE_OUTCOME
             : message == QVN_WM_TRANSFERS_DONE   ? MESSAGE_DONE
                                                  : MESSAGE_OTHER;
  int done = on_message(kind, lparam);
  if (done != 0) {
    pthread_mutex_lock(&g_lock);
    g_done = done;
    pthread_cond_broadcast(&g_changed);
    pthread_mutex_unlock(&g_lock);
  }
  return 0;
}

static void* open_window(void) {
  g_window.proc = window_proc;
  g_window.context = NULL;
  return &g_window;
}

static int wait_until_done(void* window) {
  (void)window;
  struct timespec deadline;
  clock_gettime(CLOCK_REALTIME, &deadline);
  deadline.tv_sec += WAIT_SECONDS;
  pthread_mutex_lock(&g_lock);
  while (!g_done && pthread_cond_timedwait(&g_changed, &g_lock, &deadline) == 0) {
  }
  int done = g_done;
  pthread_mutex_unlock(&g_lock);
  return done > 0;
}

#endif

static int write_test_file(void) {
  FILE* f = fopen(UP_FILE, "wb");
  if (f == NULL) return 0;
  for (long i = 0; i < FILE_SIZE; ++i) fputc((int)((((unsigned long)i * 7919u) >> 3) & 0xFF), f);
  return fclose(f) == 0;
}

static int same_files(const char* a, const char* b) {
  FILE* fa = fopen(a, "rb");
  FILE* fb = fopen(b, "rb");
  int same = fa != NULL && fb != NULL;
  while (same) {
    int ca = fgetc(fa), cb = fgetc(fb);
    if (ca != cb) same = 0;
    if (ca == EOF) break;
  }
  if (fa != NULL) fclose(fa);
  if (fb != NULL) fclose(fb);
  return same;
}

int main(int argc, char** argv) {
  if (argc != 5) {
    fprintf(stderr, "usage: %s HOST PORT FILE_PORT CREDENTIALS\n", argv[0]);
    return 2;
  }
  if (!write_test_file()) {
    perror(UP_FILE);
    return 1;
  }
  remove(DOWN_FILE);
  /* Local paths are relative: on Linux a script line that begins with "/"
   * is a comment. The sections run one after the other, in script order. */
  char script_utf8[1024];
  snprintf(script_utf8, sizeof script_utf8,
           "%s\r\n"
           "FILES [UPLOAD]\r\n{ " UP_FILE " ,..\\ examples\\qvn-example.bin }\r\n"
           "FILES [DOWNLOAD]\r\n{ " DOWN_FILE " ,..\\ examples\\qvn-example.bin }\r\n",
           argv[4]);
  qvn_char* script = qvn_from_utf8(script_utf8);
  qvn_char* host = qvn_from_utf8(argv[1]);
  if (script == NULL || host == NULL) return 1;

  void* window = open_window();
  qvn_char* started = Script(window, script, host, (uint16_t)atoi(argv[2]), (uint16_t)atoi(argv[3]));
  /* "File transfer started : <date and time>" (empty when nothing started). */
  int ok = started[0] != 0;
  ScriptFree(started);
  ok = ok && wait_until_done(window);
  ok = ok && same_files(UP_FILE, DOWN_FILE);
  puts(ok ? "transfer OK: the downloaded copy matches the upload" : "transfer FAILED");
  remove(UP_FILE);
  remove(DOWN_FILE);
  free(script);
  free(host);
  return ok ? 0 : 1;
}
