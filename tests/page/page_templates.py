"""A second implementation of the form page templates, written from the page's description
alone and sharing no code with the tool. Texts are bytes (Windows-1252), as the tool holds
them; the page is returned as bytes."""

TEXT_FIELD = "Textfeld".encode("cp1252")
MULTI_LINE = "Mehrzeiliges Textfeld".encode("cp1252")
OPTION = "Optionsfeld (nur je eins von allen kann ausgewählt werden)".encode("cp1252")
CHECK_BOX = "Ankreuzfeld".encode("cp1252")
SEPARATOR = "Trennlinie".encode("cp1252")
PARAGRAPH = "Neuer Absatz".encode("cp1252")
HEADING = "Überschrift".encode("cp1252")
PLAIN_TEXT = "Normaler Text".encode("cp1252")
TYPES = [TEXT_FIELD, MULTI_LINE, OPTION, CHECK_BOX, SEPARATOR, PARAGRAPH, HEADING, PLAIN_TEXT]

TABLE = b'<table border="0" cellpadding=4 cellspacing=1 >'


def attr(value):
    """Inside a double-quoted attribute a double quote would end the value."""
    return value.replace(b'"', b"&quot;")


def render(rows, email, action):
    """rows: list of dicts with the byte members name, type, caption, content, width, height,
    maxchars, optional, preselected."""
    lines = [
        b"<html>",
        b"<body bgcolor=#EEEEEE>",
        b'<form name="Formular" ACTION="' + action + b'" method="POST">',
        b"<p>",
        TABLE,
    ]
    required = []
    order = []
    for row in rows:
        order.append(row["name"])
        label = row["caption"]
        if row["optional"] == b"Nein":
            label += b"*"
            required.append(row["name"])
        kind = row["type"]
        name = attr(row["name"])
        if kind == TEXT_FIELD:
            size = b'size="' + attr(row["width"]) + b'"'
            if row["maxchars"] != b"0":
                size += b' maxlength="' + attr(row["maxchars"]) + b'"'
            lines += [b"<tr>", b"<td>" + label + b"</td>",
                      b'<td><input type="text" ' + size + b' name="' + name + b'" value="'
                      + attr(row["content"]) + b'"></td>', b"</tr>"]
        elif kind == MULTI_LINE:
            lines += [b"<tr>", b"<td>" + label + b"</td>",
                      b'<td><textarea name="' + name + b'" cols="' + attr(row["width"])
                      + b'" rows="' + attr(row["height"]) + b'">' + row["content"]
                      + b"</textarea></td>", b"</tr>"]
        elif kind in (OPTION, CHECK_BOX):
            input_type = b"radio" if kind == OPTION else b"checkbox"
            checked = b' checked="checked"' if row["preselected"] == b"Ja" else b""
            lines += [b"<tr>",
                      b'<td colspan=2><input type="' + input_type + b'" name="' + name
                      + b'" value="' + attr(row["content"]) + b'"' + checked + b"> " + label
                      + b"</td>", b"</tr>"]
        elif kind == SEPARATOR:
            lines.append(b"</table><hr>" + TABLE)
        elif kind == PARAGRAPH:
            lines.append(b"</table><p>" + TABLE)
        elif kind == HEADING:
            lines.append(b"</table><h1>" + label + b"</h1>" + TABLE)
        elif kind == PLAIN_TEXT:
            lines.append(b"</table>" + label + TABLE)
    lines += [
        b"<tr>",
        b'<td colspan=2><input type="submit" name="B1" value="Abschicken"></td>',
        b"</tr>",
        b"</table>",
        b"<!--  SCRIPT CONFIGURATION SECTION -->",
        b'<INPUT TYPE="HIDDEN" NAME="required"',
        b'VALUE="' + attr(_joined(required)) + b'">',
        b'<INPUT TYPE="HIDDEN" NAME="data_order"',
        b'VALUE="' + attr(_joined(order)) + b'">',
        b'<INPUT TYPE="HIDDEN" NAME="submit_to" VALUE="' + attr(email) + b'">',
        b'<INPUT TYPE="HIDDEN" NAME="form_id" VALUE="Formular">',
        b"<!--  END OF SCRIPT CONFIGURATION SECTION -->",
        b"</form>",
        b"</body>",
        b"</html>",
    ]
    return b"".join(line + b"\r\n" for line in lines)


def _joined(names):
    """Names joined by commas; an empty name adds nothing while the list is still empty."""
    text = b""
    for name in names:
        text = name if not text else text + b"," + name
    return text
