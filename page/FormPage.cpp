#include "page/FormPage.h"

#include <optional>

namespace vantrel {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kTableTag = "<table border=\"0\" cellpadding=4 cellspacing=1 >";

// Accumulates the page line by line.
class PageText {
 public:
  template <typename... Parts>
  void line(const Parts&... parts) {
    (text_.append(parts), ...);
    text_.append(kLineEnd);
  }
  std::string take() { return std::move(text_); }

 private:
  std::string text_;
};

// Comma-joined names. The test is on the list being empty, not on the row being the first,
// so an empty first name leaves no leading comma while a later one leaves an empty entry.
void appendName(std::string& list, const std::string& name) {
  if (!list.empty()) list += ',';
  list += name;
}

bool isRequired(const FormField& field) { return field.OptionalFlag == kNo; }

std::string labelOf(const FormField& field) {
  return isRequired(field) ? field.CaptionText + "*" : field.CaptionText;
}

void writePrologue(PageText& page, std::string_view action) {
  page.line("<html>");
  page.line("<body bgcolor=#EEEEEE>");
  page.line("<form name=\"Formular\" ACTION=\"", action, "\" method=\"POST\">");
  page.line("<p>");
  page.line(kTableTag);
}

void writeTextField(PageText& page, const FormField& field, const std::string& label) {
  page.line("<tr>");
  page.line("<td>", label, "</td>");
  const std::string size = quoteAttributeValue(field.Width);
  const std::string name = quoteAttributeValue(field.InternalName);
  const std::string value = quoteAttributeValue(field.Content);
  if (field.MaxChars == "0") {
    page.line("<td><input type=\"text\" size=\"", size, "\" name=\"", name, "\" value=\"", value,
              "\"></td>");
  } else {
    page.line("<td><input type=\"text\" size=\"", size, "\" maxlength=\"",
              quoteAttributeValue(field.MaxChars), "\" name=\"", name, "\" value=\"", value,
              "\"></td>");
  }
  page.line("</tr>");
}

void writeMultiLineField(PageText& page, const FormField& field, const std::string& label) {
  page.line("<tr>");
  page.line("<td>", label, "</td>");
  page.line("<td><textarea name=\"", quoteAttributeValue(field.InternalName), "\" cols=\"",
            quoteAttributeValue(field.Width), "\" rows=\"", quoteAttributeValue(field.Height),
            "\">", field.Content, "</textarea></td>");
  page.line("</tr>");
}

// Option fields and check boxes differ only in the input's type.
void writeChoiceField(PageText& page, const FormField& field, const std::string& label,
                      std::string_view inputType) {
  const std::string_view checked = field.PreselectedFlag == kYes ? " checked=\"checked\"" : "";
  page.line("<tr>");
  page.line("<td colspan=2><input type=\"", inputType, "\" name=\"",
            quoteAttributeValue(field.InternalName), "\" value=\"",
            quoteAttributeValue(field.Content), "\"", checked, "> ", label, "</td>");
  page.line("</tr>");
}

// Separator, paragraph, heading and plain text close the running table and open a new one.
void writeBetweenTables(PageText& page, std::string_view element) {
  page.line("</table>", element, kTableTag);
}

void writeRow(PageText& page, const FormField& field, const std::string& label) {
  const std::optional<FieldType> type = fieldTypeOf(field.TypeText);
  if (!type) return;  // an unknown type writes nothing, but keeps its place in the order list
  switch (*type) {
    case FieldType::TextField:
      writeTextField(page, field, label);
      break;
    case FieldType::MultiLineTextField:
      writeMultiLineField(page, field, label);
      break;
    case FieldType::OptionField:
      writeChoiceField(page, field, label, "radio");
      break;
    case FieldType::CheckBoxField:
      writeChoiceField(page, field, label, "checkbox");
      break;
    case FieldType::SeparatorLine:
      writeBetweenTables(page, "<hr>");
      break;
    case FieldType::NewParagraph:
      writeBetweenTables(page, "<p>");
      break;
    case FieldType::Heading:
      writeBetweenTables(page, "<h1>" + label + "</h1>");
      break;
    case FieldType::PlainText:
      writeBetweenTables(page, label);
      break;
  }
}

void writeEpilogue(PageText& page, const std::string& required, const std::string& order,
                   std::string_view email) {
  page.line("<tr>");
  page.line("<td colspan=2><input type=\"submit\" name=\"B1\" value=\"Abschicken\"></td>");
  page.line("</tr>");
  page.line("</table>");
  page.line("<!--  SCRIPT CONFIGURATION SECTION -->");
  page.line("<INPUT TYPE=\"HIDDEN\" NAME=\"required\"");
  page.line("VALUE=\"", quoteAttributeValue(required), "\">");
  page.line("<INPUT TYPE=\"HIDDEN\" NAME=\"data_order\"");
  page.line("VALUE=\"", quoteAttributeValue(order), "\">");
  page.line("<INPUT TYPE=\"HIDDEN\" NAME=\"submit_to\" VALUE=\"", quoteAttributeValue(email),
            "\">");
  page.line("<INPUT TYPE=\"HIDDEN\" NAME=\"form_id\" VALUE=\"Formular\">");
  page.line("<!--  END OF SCRIPT CONFIGURATION SECTION -->");
  page.line("</form>");
  page.line("</body>");
  page.line("</html>");
}

}  // namespace

std::string quoteAttributeValue(std::string_view value) {
  std::string quoted;
  quoted.reserve(value.size());
  for (char c : value) {
    if (c == '"') {
      quoted += "&quot;";
    } else {
      quoted += c;
    }
  }
  return quoted;
}

std::string generateFormPage(const FieldList& fields, std::string_view email,
                             const FormMailAddress& action) {
  PageText page;
  writePrologue(page, action.text());
  std::string required;
  std::string order;
  for (const FormField& field : fields.rows()) {
    appendName(order, field.InternalName);
    if (isRequired(field)) appendName(required, field.InternalName);
    writeRow(page, field, labelOf(field));
  }
  writeEpilogue(page, required, order, email);
  return page.take();
}

}  // namespace vantrel
