// Integration tests: real termios over a pseudo-terminal to the virtual pole display, the
// registry store on disk, and the library loaded through the registry chain.
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
