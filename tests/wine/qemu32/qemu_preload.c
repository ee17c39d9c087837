/* Preloaded into 32-bit Wine processes that run under qemu-i386 (tests only): it mends two
 * places where qemu-user 7.2 is not the kernel.
 *
 * The address space. qemu treats MAP_FIXED_NOREPLACE as a plain hint: when the range is taken it
 * maps elsewhere instead of failing. Wine's 32-bit loader reserves the address space with that
 * flag and, seeing a mapping somewhere else, unmaps it and retries in ever smaller pieces: some
 * 65,000 calls and most of a minute at every process start. This mmap gives the flag its kernel
 * meaning (the mapping at the hint, or EEXIST) and passes every other call through unchanged.
 *
 * The threads' segments. The kernel keeps the thread-local descriptors of the GDT per thread;
 * qemu keeps one table for all threads. Both the C library (%gs, its thread block) and Wine
 * (%fs, the TEB) point the same GDT entry at each new thread's own block, so a thread that loads
 * the register again gets the newest thread's block: its errno, its TEB, its Wine server pipes.
 * Wine loads both in every signal handler, qemu at every return from one, and the Wine server
 * interrupts threads with signals all the time: two threads then wait on one reply pipe and the
 * process hangs, or crashes. The LDT, which qemu shares as the kernel does, holds an entry per
 * thread instead: Wine takes its own there once set_thread_area fails, and every thread's %gs
 * gets one below.
 *
 * Built with -nostdlib (no 32-bit C library or libgcc is needed to build it): the system calls
 * are made directly, and errno, malloc and dlsym are reached through the C library the process
 * already has. The same file built for x86-64 is empty; it stands in the 64-bit half of the
 * preload path, so that 64-bit children inheriting LD_PRELOAD load nothing. */
#if defined(__i386__)

#define KIRNOW_MAP_FAILED ((void*)-1)
#define KIRNOW_MAP_FIXED_NOREPLACE 0x100000
#define KIRNOW_EEXIST 17
#define KIRNOW_EINVAL 22
#define KIRNOW_NR_MMAP 90 /* the old mmap: one pointer to its six arguments */
#define KIRNOW_NR_MUNMAP 91
#define KIRNOW_STR2(x) #x
#define KIRNOW_STR(x) KIRNOW_STR2(x)

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

static long syscall3(long nr, long a, long b, long c) {
  long r;
  __asm__ volatile("int $0x80" : "=a"(r) : "0"(nr), "b"(a), "c"(b), "d"(c) : "memory");
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

/* The C library's syscall(), as Wine calls it, but for set_thread_area, which fails with ENOSYS:
 * Wine then gives each thread's %fs an LDT entry of its own. */
#define KIRNOW_NR_SET_THREAD_AREA 243
#define KIRNOW_ENOSYS 38

__attribute__((used, visibility("hidden"))) long kirnow_syscall_failed(long r) {
  *__errno_location() = (int)-r;
  return -1;
}

/* long syscall(long number, ...): up to six arguments, in %ebx %ecx %edx %esi %edi %ebp. */
__asm__(
    ".text\n"
    ".globl syscall\n"
    ".type syscall,@function\n"
    "syscall:\n"
    "  push %ebp\n"
    "  push %edi\n"
    "  push %esi\n"
    "  push %ebx\n"
    "  mov 20(%esp),%eax\n"
    "  cmp $" KIRNOW_STR(KIRNOW_NR_SET_THREAD_AREA) ",%eax\n"
    "  jne 1f\n"
    "  mov $-" KIRNOW_STR(KIRNOW_ENOSYS) ",%eax\n"
    "  jmp 2f\n"
    "1:\n"
    "  mov 24(%esp),%ebx\n"
    "  mov 28(%esp),%ecx\n"
    "  mov 32(%esp),%edx\n"
    "  mov 36(%esp),%esi\n"
    "  mov 40(%esp),%edi\n"
    "  mov 44(%esp),%ebp\n"
    "  int $0x80\n"
    "  cmp $-4095,%eax\n"
    "  jb 3f\n"
    "2:\n"
    "  push %eax\n"
    "  call kirnow_syscall_failed\n"
    "  add $4,%esp\n"
    "3:\n"
    "  pop %ebx\n"
    "  pop %esi\n"
    "  pop %edi\n"
    "  pop %ebp\n"
    "  ret\n"
    ".size syscall,.-syscall\n");

/* Each thread's %gs in an LDT entry of its own: the main thread's as this library loads, every
 * other one's as it starts. */
#define KIRNOW_NR_MODIFY_LDT 123
#define KIRNOW_LDT_TOP 8191
#define KIRNOW_GLIBC_GS 0x33 /* GDT entry 6, where the C library keeps a thread's block */

struct user_desc_i386 {
  unsigned int entry_number, base_addr, limit, flags;
};

extern void* dlsym(void* handle, const char* name);
extern void* malloc(__SIZE_TYPE__ size);
extern void free(void* block);

static int next_entry = KIRNOW_LDT_TOP; /* handed out downwards; Wine's own go upwards */

static unsigned int own_block(void) {
  unsigned int block;
  __asm__ volatile("movl %%gs:0,%0" : "=r"(block));
  return block;
}

static void load_gs(unsigned int selector) { __asm__ volatile("movw %w0,%%gs" ::"r"(selector)); }

/* Points a descriptor (32-bit, 4 GB in pages, usable, as the C library's) at this thread's
 * block and loads %gs with it. */
static void take_own_descriptor(void) {
  const unsigned int block = own_block();
  const int entry = __atomic_fetch_sub(&next_entry, 1, __ATOMIC_SEQ_CST);
  struct user_desc_i386 desc = {(unsigned int)entry, block, 0xfffff, 0x51};
  if (entry < 1024 || syscall3(KIRNOW_NR_MODIFY_LDT, 0x11, (long)&desc, sizeof desc) != 0) return;
  load_gs(((unsigned int)entry << 3) | 7);
}

__attribute__((constructor)) static void kirnow_main_thread(void) { take_own_descriptor(); }

struct kirnow_start {
  void* (*body)(void*);
  void* argument;
};

static void* kirnow_thread(void* given) {
  struct kirnow_start start = *(struct kirnow_start*)given;
  free(given);
  take_own_descriptor();
  return start.body(start.argument);
}

typedef int (*kirnow_create_fn)(void*, const void*, void* (*)(void*), void*);

/* The C library makes the new thread's descriptor in the entry %gs names, which must be its GDT
 * entry then: it is pointed at this thread's block for the call, and the thread's own LDT entry
 * is loaded again after it. */
int pthread_create(void* thread, const void* attributes, void* (*body)(void*), void* argument) {
  static kirnow_create_fn real;
  if (!real) real = (kirnow_create_fn)dlsym((void*)-1, "pthread_create");
  struct kirnow_start* start = malloc(sizeof *start);
  if (!real || !start) return 11; /* EAGAIN */
  start->body = body;
  start->argument = argument;
  unsigned int selector;
  __asm__ volatile("movl %%gs,%0" : "=r"(selector));
  if (selector & 4) {
    struct user_desc_i386 desc = {KIRNOW_GLIBC_GS >> 3, own_block(), 0xfffff, 0x51};
    syscall1(KIRNOW_NR_SET_THREAD_AREA, (long)&desc);
    load_gs(KIRNOW_GLIBC_GS);
  }
  const int r = real(thread, attributes, kirnow_thread, start);
  if (selector & 4) load_gs(selector);
  if (r != 0) free(start);
  return r;
}

#endif
