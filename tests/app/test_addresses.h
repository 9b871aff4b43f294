// What the window logic's tests share: the site addresses they run against, and GBK for UTF-8
// literals, so the tests read naturally.
#pragma once

#include <string>

#include "app/site_addresses.h"
#include "channels/gbk.h"

namespace qelvu::test {

inline const TSiteAddresses kAddresses{"http://tv.test/", "http://notice.test/tvtq/tq.asp",
                                       "http://service.test/", "pen.test"};

inline std::string G(const char* utf8) { return Utf8ToGbk(utf8); }

}  // namespace qelvu::test
