// Tests of how the one-shot commands tell the module's answers apart: an
// image is an existing file named like one, and a name like one with no
// file behind it is no file; otherwise a cleared position makes the answer
// a wrap-around, and anything else is a message.
#include "answer.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_directory.h"

namespace rotavue_host {
namespace {

TEST(AnswerKind, AnImageIsAnExistingFileNamedLikeOneTheRestWrapsOrIsAMessage) {
  const rotavue::testing::TempDirectory tree;
  tree.writeFile("a.JPG");
  tree.writeFile("notes.txt");
  tree.makeDirectory("folder.png");
  const struct {
    std::string answer;
    bool cleared;
    AnswerKind kind;
  } rows[] = {
      {tree.pathOf("a.JPG"), false, AnswerKind::kImage},
      {tree.pathOf("notes.txt"), false, AnswerKind::kMessage},
      {tree.pathOf("gone.jpg"), false, AnswerKind::kNotFile},
      {tree.pathOf("folder.png"), true, AnswerKind::kNotFile},
      {"", true, AnswerKind::kWrap},
      {"", false, AnswerKind::kMessage},
      {"Access is denied.", true, AnswerKind::kWrap},
      {"Unable to access the registry", false, AnswerKind::kMessage},
  };
  for (const auto& row : rows) {
    bool asked = false;
    const AnswerKind kind = answerKind(row.answer, [&] {
      asked = true;
      return row.cleared;
    });
    EXPECT_EQ(kind, row.kind) << row.answer;
    // The position is read only for an answer that names no image.
    EXPECT_EQ(asked, row.kind == AnswerKind::kWrap || row.kind == AnswerKind::kMessage)
        << row.answer;
  }
  EXPECT_TRUE(namesImage(tree.pathOf("gone.jpg")));
  EXPECT_FALSE(namesImage(tree.pathOf("notes.txt")));
}

}  // namespace
}  // namespace rotavue_host
