#include "log_capture.h"

#include <gtest/gtest.h>

#include <thread>

namespace tolvane {
namespace {

using ConsoleLogTest = LogCapture;

TEST_F(ConsoleLogTest, ConversionsMatchTheirFormats) {
  Log().Hex(255).Text(" ").Dec(-1).Text(" ").Unsigned(7).Text(" ").ULong(4294967295u)
      .Text(" ").Hex(0x80000000u).Text(" ").Float(1.5).Text("\n");
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

// A run of lines goes out in one call only when nothing would be lost by it:
// pending text, a thread prefix or a colour make it go line by line.
TEST_F(ConsoleLogTest, RunOfLinesComesOutAsTextWouldSendIt) {
  Log().Lines("one\ntwo\n");
  EXPECT_EQ(m_Sink->Spans(), (std::vector<std::pair<int, std::string>>{{7, "one\ntwo\n"}}));

  m_Sink->Clear();
  Log().Text("start ").Lines("one\ntwo\n");
  EXPECT_EQ(m_Sink->Text(), "start one\ntwo\n");

  m_Sink->Clear();
  Log().SetColor(kColorWarning).Lines("red\n").SetColor(kColorNormal);
  EXPECT_EQ(m_Sink->Spans(), (std::vector<std::pair<int, std::string>>{{12, "red\n"}}));

  m_Sink->Clear();
  Log().Lines("open");  // no line end: stays pending like any unfinished line
  EXPECT_EQ(m_Sink->Text(), "");
  Log().Text(" end\n");
  EXPECT_EQ(m_Sink->Text(), "open end\n");

  m_Sink->Clear();
  std::thread t([] {
    ConsoleLog::SetThreadPrefix("[ttyS1] ");
    Log().Lines("one\ntwo\n");
  });
  t.join();
  EXPECT_EQ(m_Sink->Text(), "[ttyS1] one\n[ttyS1] two\n");
}

TEST(ConsoleAttribute, CopiesBitFiveIntoBitSeven) {
  for (int c : {7, 11, 12, 14}) EXPECT_EQ(ConsoleLog::ConsoleAttribute(c), c);
  EXPECT_EQ(ConsoleLog::ConsoleAttribute(0x20), 0xA0);
  EXPECT_EQ(ConsoleLog::ConsoleAttribute(0xFF), 0xFF);
  EXPECT_EQ(ConsoleLog::ConsoleAttribute(0x80), 0x00);
}

}  // namespace
}  // namespace tolvane
