#pragma once
// The receiver's limits: the keys of the configuration that bound what one post or one client
// may cost. The configuration is parsed from this table, and a test holds the example
// configuration's comments and the README's table of limits to it, so a limit is changed here
// and nowhere else.

#include <array>
#include <cstddef>
#include <string_view>

namespace vantrel::formmail {

struct Limit {
  std::string_view key;
  std::size_t byDefault;
  std::size_t minimum;
  std::size_t maximum;
  std::string_view meaning;  // the README's words for it
};

// The defaults take the largest form the tool builds in normal use: 500 fields of 200
// characters, each character percent-encoded (three bytes), with their names.
inline constexpr Limit kMaxBody{"max_body", std::size_t{1024} * 1024, 1,
                                std::size_t{64} * 1024 * 1024, "size of a post's body in bytes"};
// 500 fields, the button and the hidden fields, with room.
inline constexpr Limit kMaxFields{"max_fields", 1000, 1, 100000,
                                  "posted fields, the button and the four hidden fields included"};
// The hidden "data_order" lists every field's name, so a 500-field form needs far more than any
// typed answer.
inline constexpr Limit kMaxFieldLength{"max_field_length", 65536, 1, std::size_t{64} * 1024 * 1024,
                                       "length of one field name or value in bytes, decoded"};
inline constexpr Limit kRatePerMinute{"rate_per_minute", 10, 0, 1000000,
                                      "posts per client address and minute; 0 switches it off"};

// The standalone server's. A browser sends its headers in one go and a form's body within
// seconds; a client that takes longer holds a connection others need.
inline constexpr Limit kHeaderTimeout{
    "header_timeout", 10, 1, 600,
    "seconds the standalone server waits for a request's headers, from the connection on"};
inline constexpr Limit kRequestTimeout{
    "request_timeout", 60, 1, 3600,
    "seconds the standalone server waits for a whole request, headers and body"};
// 64 posts of the default max_body being sent at once; a post beyond it is refused with 503.
inline constexpr Limit kBodyMemory{
    "body_memory", std::size_t{64} * 1024 * 1024, 1, std::size_t{4} * 1024 * 1024 * 1024,
    "bytes the standalone server holds for the bodies of all connections together, at least "
    "max_body"};

inline constexpr std::array<Limit, 7> kLimits{kMaxBody,       kMaxFields,     kMaxFieldLength,
                                              kRatePerMinute, kHeaderTimeout, kRequestTimeout,
                                              kBodyMemory};

}  // namespace vantrel::formmail
