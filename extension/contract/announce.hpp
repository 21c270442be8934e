// What a writer of the preferences file sends after a change: the runtime-state word,
// published as the notify state of kRuntimeStateNotification, and the Darwin posts of the
// contract's notification names. The front-ends and halvernicctl announce through here;
// the extension only listens, and never links it.
#pragma once

#include <cstdint>

#include "common/objc/runtime.hpp"
#include "extension/contract/contract.hpp"

namespace halvernic::contract {

// What publishing the word came to.
struct RuntimeStatePublication {
  enum class Step {
    registration,  // notify_register_check
    setState,      // notify_set_state
    post,          // notify_post
  };
  // The notify status of the step that failed; 0 (NOTIFY_STATUS_OK) when the word was set
  // and posted.
  std::uint32_t status = 0;
  Step failed = Step::post;  // meaningful only when status is not 0

  bool published() const noexcept { return status == 0; }
};

// Publishes word as the notify state of kRuntimeStateNotification: registers for the name,
// sets the state, posts the name and cancels the registration. A failed registration stops
// there; a state that could not be set is not posted (the post would announce a word that is
// not there). A registration once made is always cancelled.
RuntimeStatePublication publishRuntimeState(std::uint64_t word = kPublishedRuntimeState) noexcept;

// Posts name on the Darwin notify center with sender as the object (nil for none), no user
// info, delivered immediately. Receivers see the name alone.
void postDarwinNotification(const char* name, id sender = nullptr);

}  // namespace halvernic::contract
