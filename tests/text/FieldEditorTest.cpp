#include <gtest/gtest.h>

#include "text/FieldEditor.h"

namespace lumen::text {
namespace {

// Carries out what the editor answers, as a field would.
void Apply(std::u16string& text, const std::optional<FieldEditor::Edit>& edit) {
  if (edit) text.replace(edit->begin, edit->end - edit->begin, edit->chars);
}

TEST(FieldEditor, TypingAndDeletingFollowTheCaretAndReplaceTheSelection) {
  FieldEditor editor;
  EditRules rules;
  std::u16string text = u"held";
  editor.Select(3, 3, text.size());
  Apply(text, editor.Type(text, u'l', rules));
  Apply(text, editor.Type(text, u'o', rules));
  EXPECT_EQ(text, u"hellod");
  Apply(text, editor.Press(text, EditKey::Delete, false, rules));
  Apply(text, editor.Press(text, EditKey::Backspace, false, rules));
  EXPECT_EQ(text, u"hell");
  EXPECT_EQ(editor.Caret(), 4u);
  // Shift+Home selects back to the start; typing replaces all of it.
  editor.Press(text, EditKey::Home, true, rules);
  EXPECT_EQ(editor.Begin(), 0u);
  EXPECT_EQ(editor.End(), 4u);
  Apply(text, editor.Type(text, u'X', rules));
  EXPECT_EQ(text, u"X");
  // A surrogate pair goes as one character.
  text = u"a\U0001F600";
  editor.Select(3, 3, text.size());
  Apply(text, editor.Press(text, EditKey::Backspace, false, rules));
  EXPECT_EQ(text, u"a");
  EXPECT_FALSE(editor.Press(text, EditKey::Delete, false, rules));
}

TEST(FieldEditor, ArrowsCollapseOrExtendTheSelection) {
  FieldEditor editor;
  const EditRules rules;
  const std::u16string text = u"ab\rcd";
  editor.Select(1, 4, text.size());
  editor.Press(text, EditKey::Left, false, rules);
  EXPECT_EQ(editor.Anchor(), 1u);
  EXPECT_EQ(editor.Caret(), 1u);
  editor.Press(text, EditKey::Right, true, rules);
  editor.Press(text, EditKey::Right, true, rules);
  EXPECT_EQ(editor.Anchor(), 1u);
  EXPECT_EQ(editor.Caret(), 3u);
  editor.Press(text, EditKey::End, false, rules);
  EXPECT_EQ(editor.Caret(), 5u);
  editor.Press(text, EditKey::Home, false, rules);
  EXPECT_EQ(editor.Caret(), 3u);
  editor.Select(9, 9, text.size());
  EXPECT_EQ(editor.Caret(), 5u);
}

TEST(FieldEditor, RulesRefuseLineBreaksCharactersAndLength) {
  FieldEditor editor;
  EditRules rules;
  std::u16string text = u"ab";
  editor.Select(2, 2, text.size());
  EXPECT_FALSE(editor.Press(text, EditKey::Enter, false, rules));
  rules.multiline = true;
  Apply(text, editor.Press(text, EditKey::Enter, false, rules));
  EXPECT_EQ(text, u"ab\r");
  rules.max_chars = 3;
  EXPECT_FALSE(editor.Type(text, u'c', rules));
  editor.Select(0, 1, text.size());  // a selected character makes room
  Apply(text, editor.Type(text, u'c', rules));
  EXPECT_EQ(text, u"cb\r");
  EXPECT_FALSE(editor.Type(text, u'\t', EditRules{}));
}

TEST(FieldEditor, PasteKeepsWhatTheRulesAdmitAndWhatFits) {
  FieldEditor editor;
  EditRules rules;
  rules.filter = CharFilter(u"a-z");
  rules.max_chars = 4;
  std::u16string text = u"x";
  editor.Select(0, 1, text.size());
  EXPECT_FALSE(editor.Paste(text, u"", rules));  // nothing pasted leaves the selection be
  EXPECT_EQ(editor.End(), 1u);
  Apply(text, editor.Paste(text, u"a1\rbcde", rules));  // single line: no break
  EXPECT_EQ(text, u"abcd");
  EXPECT_EQ(editor.Caret(), 4u);
}

TEST(FieldEditor, FilterReadsRangesExclusionsAndEscapes) {
  const CharFilter digits_and_capitals(u"A-Z0-9");
  EXPECT_TRUE(digits_and_capitals.Admits(u'Q'));
  EXPECT_TRUE(digits_and_capitals.Admits(u'7'));
  EXPECT_FALSE(digits_and_capitals.Admits(u'q'));
  const CharFilter all_but(u"^a-z");
  EXPECT_FALSE(all_but.Admits(u'm'));
  EXPECT_TRUE(all_but.Admits(u'M'));
  const CharFilter capitals_but_q(u"A-Z^Q");
  EXPECT_TRUE(capitals_but_q.Admits(u'P'));
  EXPECT_FALSE(capitals_but_q.Admits(u'Q'));
  const CharFilter escaped(u"\\^\\-a");
  EXPECT_TRUE(escaped.Admits(u'^'));
  EXPECT_TRUE(escaped.Admits(u'-'));
  EXPECT_TRUE(escaped.Admits(u'a'));
  EXPECT_FALSE(escaped.Admits(u'b'));
  EXPECT_FALSE(CharFilter(u"").Admits(u'a'));
  EXPECT_TRUE(CharFilter().Admits(u'a'));
}

}  // namespace
}  // namespace lumen::text
