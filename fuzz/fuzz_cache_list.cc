// Cache file bytes read into the channel tree, as at start-up.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/fake_main_view.h"
#include "app/main_controller.h"
#include "channels/channel_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (int index = 0; index <= 4; ++index) qelvu::GetField(bytes, "|", index);
  qelvu::test::FakeMainView view;
  qelvu::test::RecordingServices services;
  qelvu::TMain main(view, services, qelvu::TSiteAddresses{});
  main.FillChannelTree(qelvu::JoinCacheLines(qelvu::SplitCacheLines(bytes)));
  view.tree.Dump();
  return 0;
}
