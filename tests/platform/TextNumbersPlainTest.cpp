#include <gtest/gtest.h>

#include <sstream>

#include <cstdint>
#include <limits>

#include "platform/CsvText.h"
#include "platform/WholeNumbers.h"

namespace varnolt {

namespace {

TEST(WholeNumbers, ReadOnlyDecimalDigitsWithNothingAround) {
  EXPECT_EQ(ReadWholeNumber<int>("0"), 0);
  EXPECT_EQ(ReadWholeNumber<int>("0042"), 42);
  for (const char* text : {"", " 1", "1 ", "1.0", "1e3", "0x10", "+1", "-1", "12abc", "+", "-", "١"}) {
    EXPECT_EQ(ReadWholeNumber<int>(text), std::nullopt) << text;
  }
}

TEST(WholeNumbers, SignOnlyWhenAllowed) {
  EXPECT_EQ(ReadWholeNumber<std::int32_t>("-17", Sign::Allowed), -17);
  EXPECT_EQ(ReadWholeNumber<std::int32_t>("+17", Sign::Allowed), 17);
  for (const char* text : {"--1", "+-1", "-+1", "- 1", "+"}) {
    EXPECT_EQ(ReadWholeNumber<std::int32_t>(text, Sign::Allowed), std::nullopt) << text;
  }
}

TEST(WholeNumbers, OutOfRangeReadsNothingRatherThanWrapping) {
  EXPECT_EQ(ReadWholeNumber<std::int32_t>("2147483647"), 2147483647);
  EXPECT_EQ(ReadWholeNumber<std::int32_t>("-2147483648", Sign::Allowed), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(ReadWholeNumber<std::int32_t>("2147483648"), std::nullopt);
  EXPECT_EQ(ReadWholeNumber<std::uint32_t>("4294967295"), 4294967295u);
  EXPECT_EQ(ReadWholeNumber<std::uint32_t>("4294967296"), std::nullopt);
  EXPECT_EQ(ReadWholeNumber<std::uint32_t>("-1", Sign::Allowed), std::nullopt);
}

TEST(WholeNumbers, ThousandsAreGroupedInThrees) {
  EXPECT_EQ(WithThousands(0), "0");
  EXPECT_EQ(WithThousands(999), "999");
  EXPECT_EQ(WithThousands(1000), "1,000");
  EXPECT_EQ(WithThousands(60000000), "60,000,000");
  EXPECT_EQ(WithThousands(-1234567), "-1,234,567");
  EXPECT_EQ(WithThousands(std::numeric_limits<std::int64_t>::min()), "-9,223,372,036,854,775,808");
}

TEST(CsvText, CellsRoundTripThroughQuotes) {
  const std::vector<std::string> cells = {"plain", "with, comma", "say \"hi\"", "", "two\nlines", "cr\r\nlf"};
  const std::string text = CsvRecordText(cells);
  EXPECT_EQ(text, "plain,\"with, comma\",\"say \"\"hi\"\"\",,\"two\nlines\",\"cr\r\nlf\"");
  const CsvRead read = ReadCsv(text + "\r\n");
  ASSERT_FALSE(read.openQuoteLine);
  ASSERT_EQ(read.records.size(), 1u);
  EXPECT_EQ(read.records[0].cells, cells);
  EXPECT_EQ(read.records[0].text, text);
}

TEST(CsvText, RecordsKnowTheLineTheyStartOn) {
  const CsvRead read = ReadCsv("\xEF\xBB\xBFname,notes\r\na,\"first\r\nsecond\"\r\n\r\nb,last");
  ASSERT_FALSE(read.openQuoteLine);
  ASSERT_EQ(read.records.size(), 4u);
  EXPECT_EQ(read.records[0].cells, (std::vector<std::string>{"name", "notes"}));
  EXPECT_EQ(read.records[1].line, 2u);
  EXPECT_EQ(read.records[1].cells, (std::vector<std::string>{"a", "first\r\nsecond"}));
  EXPECT_EQ(read.records[2].line, 4u);
  EXPECT_EQ(read.records[2].cells, (std::vector<std::string>{""}));  // an empty line
  EXPECT_EQ(read.records[3].line, 5u);
  EXPECT_EQ(read.records[3].cells, (std::vector<std::string>{"b", "last"}));
  EXPECT_EQ(read.records[3].text, "b,last");
  EXPECT_TRUE(ReadCsv("").records.empty());
  EXPECT_EQ(ReadCsv("a\n").records.size(), 1u);
}

TEST(CsvText, AnOpenQuoteIsToldWithItsLine) {
  const CsvRead read = ReadCsv("a,b\n1,\"open\n2,3\n");
  EXPECT_EQ(read.openQuoteLine, 2u);
  EXPECT_FALSE(SplitCsvRecord("a,\"open"));
  EXPECT_FALSE(SplitCsvRecord("a\nb"));  // two records, not one line
  EXPECT_EQ(SplitCsvRecord(""), (std::vector<std::string>{""}));
  EXPECT_EQ(SplitCsvRecord("x,\"y,z\""), (std::vector<std::string>{"x", "y,z"}));
}

// Read one record at a time, a stream gives the records ReadCsv gives for the
// same text, and tells a last record cut before its line break.
TEST(CsvText, ARecordReaderGivesWhatReadCsvGives) {
  const std::string text = "\xEF\xBB\xBFname,notes\r\na,\"first\r\nsecond, \"\"quoted\"\"\"\r\n\r\nb,last\nc,cut";
  const CsvRead whole = ReadCsv(text);
  std::istringstream in(text);
  CsvRecordReader reader(in);
  CsvRecord record;
  std::size_t count = 0;
  while (reader.Next(record)) {
    ASSERT_LT(count, whole.records.size());
    EXPECT_EQ(record.cells, whole.records[count].cells) << "record " << count;
    EXPECT_EQ(record.text, whole.records[count].text) << "record " << count;
    EXPECT_EQ(record.line, whole.records[count].line) << "record " << count;
    EXPECT_EQ(reader.EndedInLineBreak(), count + 1 < whole.records.size()) << "record " << count;
    ++count;
  }
  EXPECT_EQ(count, whole.records.size());
  EXPECT_FALSE(reader.OpenQuoteLine());

  std::istringstream open("a,b\n1,\"open\n2,3\n");
  CsvRecordReader openReader(open);
  ASSERT_TRUE(openReader.Next(record));
  EXPECT_FALSE(openReader.Next(record));
  EXPECT_EQ(openReader.OpenQuoteLine(), 2u);
}

}  // namespace

}  // namespace varnolt
