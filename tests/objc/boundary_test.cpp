// Boundaries: Objective-C exceptions, threads the Foundation did not start, weak
// references and associated objects.
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "common/objc/exception.hpp"
#include "common/objc/foundation.hpp"
#include "common/objc/thread.hpp"
#include "common/objc/weak.hpp"

namespace {

TEST(Exceptions, NSExceptionStopsAtTheBoundaryOtherExceptionsPass) {
  std::string reason;
  EXPECT_FALSE(objc::catchException(
      [] { objc::raiseException("NSRangeException", "out of range"); }, &reason));
  EXPECT_EQ(reason, "out of range");
  // A real Foundation raise: an index past the end of an array.
  EXPECT_FALSE(objc::catchException([] {
    objc::AutoreleasePool pool;
    objc::Ref array = objc::makeMutableArray();
    objc::send<id>(array.get(), objc::sel("objectAtIndex:"), 5UL);
  }));
  int ran = 0;
  EXPECT_TRUE(objc::catchException([&] { ++ran; }));
  EXPECT_EQ(ran, 1);
  EXPECT_THROW(objc::catchException([] { throw std::runtime_error("c++"); }), std::runtime_error);
}

TEST(Threads, AForeignThreadUsesFoundationOnceAttached) {
  std::string seen;
  std::thread worker([&] {
    objc::runAttached([&] {
      objc::Ref d = objc::makeMutableDictionary();
      objc::dictionarySet(d.get(), "k", objc::string("from a foreign thread"));
      seen = objc::toString(objc::dictionaryGet(d.get(), "k"));
    });
  });
  worker.join();
  EXPECT_EQ(seen, "from a foreign thread");
}

TEST(Weak, ZeroedWhenTheObjectIsDeallocated) {
  objc::WeakRef weak;
  {
    objc::Ref strong = objc::makeMutableArray();
    weak.store(strong.get());
    EXPECT_EQ(weak.load(), strong);
  }
  EXPECT_FALSE(weak.load());
}

TEST(Associated, ValueIsRetainedAndReleasedWithItsObject) {
  static const char key = 0;
  objc::WeakRef watch_value;
  {
    objc::Ref owner = objc::makeMutableDictionary();
    {
      objc::Ref value = objc::makeMutableArray();
      watch_value.store(value.get());
      objc::setAssociated(owner.get(), &key, value.get());
    }
    EXPECT_TRUE(watch_value.load()) << "the association keeps the value alive";
    EXPECT_EQ(objc::getAssociated(owner.get(), &key), watch_value.load().get());
  }
  EXPECT_FALSE(watch_value.load()) << "released when the owner was deallocated";
}

}  // namespace
