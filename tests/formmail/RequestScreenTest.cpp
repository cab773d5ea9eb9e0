// The first look at a client's raw bytes: which header shapes are refused, when a request is
// whole, and how many pipelined requests behind it are known to be sound.

#include <gtest/gtest.h>

#include <string>

#include "formmail/RequestScreen.h"

using namespace vantrel::formmail;

TEST(RequestScreen, RefusesWhatTwoParsersReadApartAndCountsWholeRequests) {
  const std::string get = "GET / HTTP/1.1\r\nHost: a\r\n\r\n";
  const std::string post = "POST /f HTTP/1.1\r\nHost: a\r\nContent-Length: 3\r\n\r\nabc";
  const std::string chunkedPost =
      "POST /f HTTP/1.1\r\nHost: a\r\nTransfer-Encoding: chunked\r\n\r\n3;x=y\r\nabc\r\n0\r\n"
      "Trailer: t\r\n\r\n";
  const struct {
    const char* what;
    std::string bytes;
    ScreenVerdict verdict;
    std::size_t soundRequests;
  } cases[] = {
      {"one request", get, ScreenVerdict::Sound, 1},
      {"an empty line before it", "\r\n" + get, ScreenVerdict::Sound, 1},
      {"headers not yet ended", "POST /f HTTP/1.1\r\nHo", ScreenVerdict::Incomplete, 0},
      {"a CR that may yet be followed by LF", "GET / HTTP/1.1\r", ScreenVerdict::Incomplete, 0},
      {"a body still arriving", post.substr(0, post.size() - 1), ScreenVerdict::Sound, 1},
      {"pipelined behind a length", post + post + get, ScreenVerdict::Sound, 3},
      {"pipelined behind a chunked body", chunkedPost + get, ScreenVerdict::Sound, 2},
      {"a second request not yet whole", post + "GET / HT", ScreenVerdict::Sound, 1},
      {"behind an unknown coding nothing is counted",
       "POST /f HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\n" + get, ScreenVerdict::Sound, 1},
      {"a folded line", "GET / HTTP/1.1\r\nX: one\r\n two\r\n\r\n", ScreenVerdict::Refused, 0},
      {"a folded first header", "GET / HTTP/1.1\r\n\tX: one\r\n\r\n", ScreenVerdict::Refused, 0},
      {"a NUL not yet followed by the line's end", std::string("GET / HTTP/1.1\r\nX: a\0b", 22),
       ScreenVerdict::Refused, 0},
      {"a CR alone", "GET / HTTP/1.1\r\nX: a\rb\r\n\r\n", ScreenVerdict::Refused, 0},
      {"an LF alone", "GET / HTTP/1.1\nHost: a\n\n", ScreenVerdict::Refused, 0},
      {"a blank before the colon", "GET / HTTP/1.1\r\nContent-Length : 3\r\n\r\nabc",
       ScreenVerdict::Refused, 0},
      {"no colon", "GET / HTTP/1.1\r\nHost\r\n\r\n", ScreenVerdict::Refused, 0},
      {"a request line without version", "GET /\r\n\r\n", ScreenVerdict::Refused, 0},
      {"a request line with two blanks", "GET  / HTTP/1.1\r\n\r\n", ScreenVerdict::Refused, 0},
      {"a folded line in a pipelined request", get + "GET / HTTP/1.1\r\nX: a\r\n b\r\n\r\n",
       ScreenVerdict::Refused, 1},
      {"header lines over the limit", "GET / HTTP/1.1\r\nX: " + std::string(200, 'a'),
       ScreenVerdict::TooLarge, 0},
  };
  for (const auto& sample : cases) {
    const Screening screening = screenRequests(sample.bytes, 128);
    EXPECT_EQ(screening.verdict, sample.verdict) << sample.what;
    EXPECT_EQ(screening.soundRequests, sample.soundRequests) << sample.what;
  }
}
