// The engine's start-up flags: the sandbox goes only for root, and a flag with blanks in it
// reaches the engine as one flag.

#include <gtest/gtest.h>

#include "widgets/browser/BrowserEngine.h"

namespace vantrel::browser {
namespace {

TEST(BrowserEngineFlags, SandboxIsSwitchedOffOnlyForRoot) {
  EXPECT_FALSE(engineFlags(false, {}).contains(QStringLiteral("--no-sandbox")));
  EXPECT_TRUE(engineFlags(true, {}).contains(QStringLiteral("--no-sandbox")));
}

TEST(BrowserEngineFlags, ClosedNetworkFlagsComeFirstAndExtraFlagsLast) {
  const QStringList flags = engineFlags(false, {QStringLiteral("--extra")});
  EXPECT_TRUE(flags.contains(QStringLiteral("--disable-background-networking")));
  EXPECT_EQ(flags.mid(0, closedNetworkFlags().size()), closedNetworkFlags());
  EXPECT_EQ(flags.constLast(), QStringLiteral("--extra"));
}

TEST(BrowserEngineFlags, FlagsWithBlanksAreQuotedAsOneWord) {
  EXPECT_EQ(joinEngineFlags({QStringLiteral("--a"),
                             QStringLiteral("--host-resolver-rules=MAP h 127.0.0.1:8080"),
                             QStringLiteral("--b")}),
            QStringLiteral("--a \"--host-resolver-rules=MAP h 127.0.0.1:8080\" --b"));
}

}  // namespace
}  // namespace vantrel::browser
