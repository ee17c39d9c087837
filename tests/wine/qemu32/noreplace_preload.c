/* Preloaded into 32-bit Wine processes that run under qemu-i386 (tests only).
 *
 * qemu-user 7.2 treats MAP_FIXED_NOREPLACE as a plain hint: when the range is taken it maps
 * elsewhere instead of failing. Wine's 32-bit loader reserves the address space with that flag
 * and, seeing a mapping somewhere else, unmaps it and retries in ever smaller pieces: some 65,000
 * calls and most of a minute at every process start. This mmap gives the flag its kernel meaning
 * (the mapping at the hint, or EEXIST) and passes every other call through unchanged.
 *
 * Built with -nostdlib (no 32-bit C library or libgcc is needed to build it): the system calls
 * are made directly and errno is reached through the C library the process already has. The same
 * file built for x86-64 is empty; it stands in the 64-bit half of the preload path, so that
 * 64-bit children inheriting LD_PRELOAD load nothing. */
#if defined(__i386__)

#define KIRNOW_MAP_FAILED ((void*)-1)
#define KIRNOW_MAP_FIXED_NOREPLACE 0x100000
#define KIRNOW_EEXIST 17
#define KIRNOW_EINVAL 22
#define KIRNOW_NR_MMAP 90 /* the old mmap: one pointer to its six arguments */
#define KIRNOW_NR_MUNMAP 91

extern int* __errno_location(void);

struct old_mmap_args {
  unsigned long addr, len, prot, flags, fd, offset;
};

static long syscall1(long nr, long a) {
  long r;
  __asm__ volatile("int $0x80" : "=a"(r) : "0"(nr), "b"(a) : "memory");
  return r;
}

static long syscall2(long nr, long a, long b) {
  long r;
  __asm__ volatile("int $0x80" : "=a"(r) : "0"(nr), "b"(a), "c"(b) : "memory");
  return r;
}

static void* fail(int error) {
  *__errno_location() = error;
  return KIRNOW_MAP_FAILED;
}

static void* map(void* addr, unsigned long len, int prot, int flags, int fd, long long offset) {
  if (offset < 0 || offset > 0xffffffffLL) return fail(KIRNOW_EINVAL);
  struct old_mmap_args args = {(unsigned long)addr, len,
                               (unsigned long)prot, (unsigned long)flags,
                               (unsigned long)fd,   (unsigned long)offset};
  long r = syscall1(KIRNOW_NR_MMAP, (long)&args);
  if ((unsigned long)r > -4096UL) return fail((int)-r);
  if ((flags & KIRNOW_MAP_FIXED_NOREPLACE) && (void*)r != addr) {
    syscall2(KIRNOW_NR_MUNMAP, r, (long)len);
    return fail(KIRNOW_EEXIST);
  }
  return (void*)r;
}

void* mmap(void* addr, unsigned long len, int prot, int flags, int fd, long offset) {
  return map(addr, len, prot, flags, fd, offset);
}

void* mmap64(void* addr, unsigned long len, int prot, int flags, int fd, long long offset) {
  return map(addr, len, prot, flags, fd, offset);
}

#endif
