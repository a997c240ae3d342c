#include "runtime/identity.h"
#include "runtime/message.h"
#include "text/text.h"

namespace sproutsmith::runtime {

Identity Identity::ForVersion(int year, int month, int day) {
  Identity id;
  const text::DateTime date{year, month, day};
  id.version_text = text::Format(date, "MMM D, YYYY");
  id.build_number = text::Number(date.SerialDay());
  return id;
}

std::string Identity::BuildLine() const {
  return product_name + " Build " + build_number + " (" + version_text + ")";
}

Answer ShowMessage(Ui& ui, const RunState& state, const std::string& title, const std::string& text,
                   MessageStyle style) {
  const bool question = style == MessageStyle::kYesNo || style == MessageStyle::kYesNoCancel;
  if (state.Unattended()) return question ? Answer::kYes : Answer::kNone;
  const Answer answer = ui.MessageBox(text, style, title);
  return question ? answer : Answer::kNone;
}

Answer ShowMessage(Ui& ui, const RunState& state, const Identity& identity, const std::string& text,
                   MessageStyle style) {
  return ShowMessage(ui, state, identity.program_title, text, style);
}

}  // namespace sproutsmith::runtime
