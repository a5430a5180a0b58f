#include "fuzz_support.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "cgi/cgi_context.hpp"
#include "cgi/cgi_request.hpp"
#include "cgi/collection_table.hpp"

namespace fuzz_support {

void CheckFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: broken promise: %s\n", file, line, condition);
  std::abort();
}

std::size_t LookUpEveryName() {
  const CgiEnvironment* environment = CgiCurrentEnvironment();
  FUZZ_CHECK(environment != nullptr);
  std::size_t bytes = 0;
  for (std::size_t position = 0; position < environment->CollectionCount(); ++position) {
    const CollectionTable& table = *environment->collections;
    for (const FormEntry& entry : table.Entries(position)) bytes += entry.raw_value.size();
    const std::string name(table.First(position).name);
    FUZZ_CHECK(table.Find(name) == position);
    std::string text;
    for (const std::size_t capacity : {0, 1, 50}) {  // never more than capacity - 1 characters
      CgiGetString(name, text, capacity);
      FUZZ_CHECK(text.size() < std::max<std::size_t>(capacity, 1));
    }
    std::int32_t number;
    CgiGetLong(name, number, -1);
    double decimal;
    CgiGetDouble(name, decimal, -1.0);
  }
  return bytes;
}

}  // namespace fuzz_support
