// The main of every test program: the Foundation needs the main thread registered and
// a pool around the run.
#include <gtest/gtest.h>

#include "common/objc/thread.hpp"

int main(int argc, char** argv) {
  objc::attachCurrentThread();
  objc::AutoreleasePool pool;
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
