#include "log_capture.h"

#include <gtest/gtest.h>

#include <thread>

namespace tolvane {
namespace {

using ConsoleLogTest = test::LogCaptureTest;

TEST_F(ConsoleLogTest, ConversionsMatchTheirFormats) {
  Log()
      .Hex(255)
      .Text(" ")
      .Dec(-1)
      .Text(" ")
      .Unsigned(7)
      .Text(" ")
      .ULong(4294967295u)
      .Text(" ")
      .Hex(0x80000000u)
      .Text(" ")
      .Float(1.5)
      .Text("\n");
  EXPECT_EQ(m_Sink->Text(), "FF -1 7 4294967295 80000000 1.500000\n");
}

TEST_F(ConsoleLogTest, EmptyTextWritesNothing) {
  Log().Text("");
  Log().Flush();
  EXPECT_EQ(m_Sink->Text(), "");
  EXPECT_TRUE(m_Sink->Spans().empty());
}

TEST_F(ConsoleLogTest, ColoursApplyToLaterTextOnly) {
  Log().Text("a").SetColor(kColorAddress).Text("BASE adr = 30\n").SetColor(kColorNormal).Text("b\n");
  auto spans = m_Sink->Spans();
  ASSERT_EQ(spans.size(), 3u);
  EXPECT_EQ(spans[0], std::make_pair(7, std::string("a")));
  EXPECT_EQ(spans[1], std::make_pair(14, std::string("BASE adr = 30\n")));
  EXPECT_EQ(spans[2], std::make_pair(7, std::string("b\n")));
}

TEST_F(ConsoleLogTest, LinesGoOutOnlyWhenFinishedOrFlushed) {
  Log().Text("* http://host/Velm");
  EXPECT_EQ(m_Sink->Text(), "");
  Log().Text("\n\nrest");
  EXPECT_EQ(m_Sink->Text(), "* http://host/Velm\n\n");
  Log().Flush();
  EXPECT_EQ(m_Sink->Text(), "* http://host/Velm\n\nrest");
}

TEST_F(ConsoleLogTest, LinesFromTwoThreadsComeOutWhole) {
  auto writer = [](const char* word) {
    for (int i = 0; i < 2000; ++i) Log().Text(word).Text("-").Dec(i).Text("-").Text(word).Text("\n");
  };
  std::thread a(writer, "alpha"), b(writer, "beta");
  a.join();
  b.join();
  std::string all = m_Sink->Text();
  size_t lines = 0, pos = 0;
  while (pos < all.size()) {
    size_t end = all.find('\n', pos);
    ASSERT_NE(end, std::string::npos);
    std::string line = all.substr(pos, end - pos);
    bool alpha = line.rfind("alpha-", 0) == 0 && line.ends_with("-alpha");
    bool beta = line.rfind("beta-", 0) == 0 && line.ends_with("-beta");
    EXPECT_TRUE(alpha || beta) << line;
    pos = end + 1;
    ++lines;
  }
  EXPECT_EQ(lines, 4000u);
}

TEST_F(ConsoleLogTest, ThreadPrefixStartsEveryLineOfThatThread) {
  std::thread t([] {
    ConsoleLog::SetThreadPrefix("[ttyS1] ");
    Log().Text("one\ntwo\n");
  });
  t.join();
  EXPECT_EQ(m_Sink->Text(), "[ttyS1] one\n[ttyS1] two\n");
}

}  // namespace
}  // namespace tolvane
