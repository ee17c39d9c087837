// The Linux message box: a host program's hook gets every message, from any thread, and
// clearing it goes back to stderr.
#include "platform/messagebox/message_box.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

namespace kirnow::platform {
namespace {

TEST(MessageBox, HookReceivesMessagesFromEveryThreadUntilCleared) {
  std::mutex m;
  std::vector<std::string> seen;
  SetMessageBoxHook([&](std::string_view text, std::string_view caption) {
    std::lock_guard<std::mutex> lock(m);
    seen.push_back(std::string(caption) + "|" + std::string(text));
  });
  auto box = MakeSystemMessageBox();
  std::thread other([&] { box->Show("OPOS_E_OFFLINE", "OpenService"); });
  other.join();
  box->Show("Open Port Error", "ClaimDevice");
  SetMessageBoxHook(nullptr);

  testing::internal::CaptureStderr();
  box->Show("set error", "SetPropertyNumber");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "SetPropertyNumber: set error\n");
  EXPECT_EQ(seen, (std::vector<std::string>{"OpenService|OPOS_E_OFFLINE",
                                            "ClaimDevice|Open Port Error"}));
}

}  // namespace
}  // namespace kirnow::platform
