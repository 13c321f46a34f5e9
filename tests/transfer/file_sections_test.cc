#include "transfer/file_sections.h"

#include <gtest/gtest.h>

namespace qvn::testing {
namespace {

using Lines = std::vector<Text>;

struct Split {
  Lines script;
  Lines files;
};

Split SplitText(const Text& text) {
  Split s{SplitLines(text), {}};
  SplitFileSections(s.script, s.files);
  return s;
}

TEST(TidyScriptLinesTest, TrimsDropsBlankAndSlashLinesAndJoinsBraces) {
  Lines lines = SplitLines(
      u"\r\n  \r\n/ comment first\r\n  pw@u@p  \r\n\r\n  select [ a ] from x \r\n"
      u"   // note\r\nFILES [UPLOAD] {\r\nc:\\a.txt,..\\a.txt\r\n}\r\n  \r\n");
  TidyScriptLines(lines);
  EXPECT_EQ(lines, (Lines{u"pw@u@p", u"select [a] from x",
                          u"FILES [UPLOAD] {c:\\a.txt,..\\a.txt}"}));
}

TEST(TidyScriptLinesTest, CollapsesRepeatedBlanksAtBracketsAndChainedBraceLines) {
  Lines lines{u"x [   y   ]", u"{", u"{", u"a", u"}", u"}"};
  TidyScriptLines(lines);
  // A "{" line joins the line after it, not the one before.
  EXPECT_EQ(lines, (Lines{u"x [y]", u"{{a}}"}));
}

TEST(TidyScriptLinesTest, EmptyAndCommentOnlyScriptsLeaveNoLine) {
  Lines empty;
  TidyScriptLines(empty);
  EXPECT_TRUE(empty.empty());
  Lines comments{u"  ", u"/x", u"\t/y"};
  TidyScriptLines(comments);
  EXPECT_TRUE(comments.empty());
}

TEST(SplitFileSectionsTest, MovesTheSectionOfTheExampleAndKeepsCommands) {
  Split s = SplitText(
      u"pw@u@p\r\nFILES [UPLOAD]\r\n{ C:\\data\\a.txt ,..\\ docs\\a.txt\r\n"
      u"C:\\data\\b.txt,..\\docs\\b.txt }\r\na command line\r\n");
  EXPECT_EQ(s.script, (Lines{u"pw@u@p", u"a command line"}));
  EXPECT_EQ(s.files, (Lines{u"pw@u@p", u"FILES [UPLOAD]", u"{ C:\\data\\a.txt ,..\\ docs\\a.txt",
                            u"C:\\data\\b.txt,..\\docs\\b.txt }"}));
}

TEST(SplitFileSectionsTest, HeadersInAnyCaseWithExtraBlanks) {
  for (const Text header : {u"files  [ upload ]", u"Files [Download]", u"CONTENT    [UPLOAD ]",
                            u"content [  download]", u"FILES [UPLOAD] trailing words"}) {
    Split s = SplitText(u"pw\r\n" + header + u"\r\na,..\\b}\r\ncmd");
    EXPECT_EQ(s.script, (Lines{u"pw", u"cmd"})) << TextToUtf8(header);
    ASSERT_EQ(s.files.size(), 3u) << TextToUtf8(header);
    EXPECT_EQ(s.files[2], u"a,..\\b}");
  }
}

TEST(SplitFileSectionsTest, NoBlankBeforeBracketIsNoHeader) {
  Split s = SplitText(u"pw\r\nFILES[UPLOAD]\r\na,..\\b}\r\nFILESX [UPLOAD]\r\n");
  EXPECT_EQ(s.script, (Lines{u"pw", u"FILES[UPLOAD]", u"a,..\\b}", u"FILESX [UPLOAD]"}));
  EXPECT_EQ(s.files, (Lines{u"pw"}));
}

TEST(SplitFileSectionsTest, SectionWithoutClosingBraceTakesTheRestOfTheScript) {
  Split s = SplitText(
      u"pw\r\ncmd 1\r\nFILES [DOWNLOAD]\r\na,..\\b\r\ncmd 2\r\nCONTENT [UPLOAD]\r\nc,.@\\d}\r\n");
  EXPECT_EQ(s.script, (Lines{u"pw", u"cmd 1"}));
  EXPECT_EQ(s.files, (Lines{u"pw", u"FILES [DOWNLOAD]", u"a,..\\b", u"cmd 2",
                            u"CONTENT [UPLOAD]", u"c,.@\\d}"}));
}

TEST(SplitFileSectionsTest, SeveralSectionsAndCommentLinesInsideThem) {
  Split s = SplitText(
      u"pw\r\nFILES [UPLOAD]\r\n/ skip me\r\na,..\\b\r\n\r\n  /also\r\nc,..\\d }\r\nmid\r\n"
      u"CONTENT [DOWNLOAD]\r\n{\r\ne,.@\\f\r\n}\r\nend\r\n");
  EXPECT_EQ(s.script, (Lines{u"pw", u"mid", u"end"}));
  EXPECT_EQ(s.files, (Lines{u"pw", u"FILES [UPLOAD]", u"a,..\\b", u"c,..\\d }",
                            u"CONTENT [DOWNLOAD]", u"{e,.@\\f}"}));
}

TEST(SplitFileSectionsTest, HeaderLineEndingInBraceIsAWholeSection) {
  Split s = SplitText(u"pw\r\nFILES [UPLOAD] {a,..\\b}\r\ncmd");
  EXPECT_EQ(s.script, (Lines{u"pw", u"cmd"}));
  EXPECT_EQ(s.files, (Lines{u"pw", u"FILES [UPLOAD] {a,..\\b}"}));
}

TEST(SplitFileSectionsTest, FirstNonBlankLineIsTheCredentialsLine) {
  Split s = SplitText(u"\r\n/ header comment\r\n   \r\n  pw@u@p \r\nFILES [UPLOAD]\r\na,..\\b}");
  EXPECT_EQ(s.script, (Lines{u"pw@u@p"}));
  EXPECT_EQ(s.files.front(), u"pw@u@p");
}

TEST(SplitFileSectionsTest, NothingLeftGivesEmptyLists) {
  Split s = SplitText(u" \r\n/x\r\n");
  EXPECT_TRUE(s.script.empty());
  EXPECT_TRUE(s.files.empty());
}

TEST(ExtractFileSectionsTest, EmptiesTheTargetListFirst) {
  Lines script{u"pw", u"cmd"};
  Lines files{u"stale", u"lines"};
  ExtractFileSections(script, files);
  EXPECT_EQ(files, (Lines{u"pw"}));
  EXPECT_EQ(script, (Lines{u"pw", u"cmd"}));
}

TEST(ListFileEntriesTest, EntriesInTheOrderTheThreadRunsThem) {
  using D = TransferDirection;
  using K = FileSectionKind;
  struct Case {
    Text script;
    std::vector<FileEntry> entries;
  } cases[] = {
      {u"pw\r\nfiles [ upload ]\r\n{ a.txt , ..\\ d\\a.txt\r\nb.txt }\r\ncmd\r\n"
       u"CONTENT [DOWNLOAD]\r\n{c,.@\\p\\c}\r\n",
       {{D::kUpload, K::kFiles, u"a.txt", u"..\\d\\a.txt"},
        {D::kUpload, K::kFiles, u"b.txt", u"..\\"},
        {D::kDownload, K::kContent, u"c", u".@\\p\\c"}}},
      // No "}": the download section runs into the upload header, listed twice.
      {u"pw\r\nFILES [DOWNLOAD]\r\na,..\\b\r\nFILES [UPLOAD]\r\nc,..\\d}\r\n",
       {{D::kDownload, K::kFiles, u"a", u"..\\b"},
        {D::kDownload, K::kFiles, u"FILES [UPLOAD]", u"..\\"},
        {D::kDownload, K::kFiles, u"c", u"..\\d"},
        {D::kUpload, K::kFiles, u"c", u"..\\d"}}},
      {u"pw\r\nFILES [UPLOAD]\r\n}\r\nFILES[UPLOAD]\r\n/x,..\\y}\r\n", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ListScriptFileEntries(c.script), c.entries) << TextToUtf8(c.script);
  }
}

}  // namespace
}  // namespace qvn::testing
