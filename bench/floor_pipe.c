/* The floor of a file transfer on this machine: what any transfer must do
 * when it has nothing to encrypt. No library code, on purpose.
 *
 *   qvn_floor recv OUT        listens on a free loopback port, prints it on
 *                             stdout, takes one connection and writes what
 *                             arrives to OUT in 32,767-byte writes, gathering
 *                             eight blocks per receive as the library does
 *   qvn_floor send PORT IN    reads IN in 32,767-byte reads and sends eight
 *                             of them per write, as the library does
 *
 * bench/e2e_runner.cc runs the pair for each direction in the same run as the
 * library's transfers and compares each process's CPU time with the client's. */
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

enum { kBlock = 32767, kBatch = 8 };

static void Die(const char* what) {
  perror(what);
  exit(1);
}

/* Fills buf with n bytes unless the peer closes first; returns what came. */
static size_t ReceiveFull(int s, unsigned char* buf, size_t n) {
  size_t got = 0;
  while (got < n) {
    ssize_t r = recv(s, buf + got, n - got, 0);
    if (r < 0) Die("recv");
    if (r == 0) break;
    got += (size_t)r;
  }
  return got;
}

static int Receive(const char* out_path) {
  int l = socket(AF_INET, SOCK_STREAM, 0);
  struct sockaddr_in a;
  memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (l < 0 || bind(l, (struct sockaddr*)&a, sizeof a) != 0 || listen(l, 1) != 0 ||
      getsockname(l, (struct sockaddr*)&a, &len) != 0)
    Die("listen");
  printf("%u\n", (unsigned)ntohs(a.sin_port));
  fflush(stdout);
  int s = accept(l, NULL, NULL);
  if (s < 0) Die("accept");
  int fd = open(out_path, O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) Die(out_path);
  static unsigned char buf[kBatch * kBlock];
  size_t got;
  while ((got = ReceiveFull(s, buf, sizeof buf)) > 0) {
    for (size_t at = 0; at < got; at += kBlock) {
      size_t n = got - at < kBlock ? got - at : kBlock;
      if (write(fd, buf + at, n) != (ssize_t)n) Die("write");
    }
  }
  if (close(fd) != 0) Die("close");
  close(s);
  close(l);
  return 0;
}

static int Send(int port, const char* in_path) {
  int fd = open(in_path, O_RDONLY);
  if (fd < 0) Die(in_path);
  int s = socket(AF_INET, SOCK_STREAM, 0);
  struct sockaddr_in a;
  memset(&a, 0, sizeof a);
  a.sin_family = AF_INET;
  a.sin_port = htons((unsigned short)port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (s < 0 || connect(s, (struct sockaddr*)&a, sizeof a) != 0) Die("connect");
  static unsigned char buf[kBatch * kBlock];
  for (;;) {
    size_t filled = 0;
    for (int i = 0; i < kBatch; ++i) {
      ssize_t r = read(fd, buf + filled, kBlock);
      if (r < 0) Die("read");
      filled += (size_t)r;
      if (r < kBlock) break;
    }
    if (filled == 0) break;
    for (size_t sent = 0; sent < filled;) {
      ssize_t w = send(s, buf + sent, filled - sent, 0);
      if (w <= 0) Die("send");
      sent += (size_t)w;
    }
    if (filled < sizeof buf) break;
  }
  close(fd);
  close(s);
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "recv") == 0) return Receive(argv[2]);
  if (argc == 4 && strcmp(argv[1], "send") == 0) return Send(atoi(argv[2]), argv[3]);
  fprintf(stderr, "usage: qvn_floor recv OUT | qvn_floor send PORT IN\n");
  return 2;
}
