# Turns a command's Markdown page (docs/rt650scan.md) into its manual page.
#
#   awk -v version=1.7 -f scripts/md2man.awk docs/rt650scan.md > rt650scan.1
#
# Understood: "# name: summary" (the first line), "## Section", "### Sub",
# paragraphs, ``` fenced blocks, tables (each row after the head becomes a
# tagged paragraph: the first cell the tag, the others the text, "\|" a bar
# inside a cell), `code` (bold, its hyphens minus signs) and **bold**.

function roff_escape(text) {
  gsub(/\\/, "\\e", text)
  return text
}

# Inline markup of an escaped text.
function inline(text,    out, code) {
  out = ""
  while (match(text, /`[^`]*`/)) {
    code = substr(text, RSTART + 1, RLENGTH - 2)
    gsub(/-/, "\\-", code)
    out = out substr(text, 1, RSTART - 1) "\\fB" code "\\fR"
    text = substr(text, RSTART + RLENGTH)
  }
  text = out text
  while (match(text, /\*\*[^*]+\*\*/)) {
    text = substr(text, 1, RSTART - 1) "\\fB" substr(text, RSTART + 2, RLENGTH - 4) "\\fR" \
           substr(text, RSTART + RLENGTH)
  }
  return text
}

# A line as roff text: a leading dot or quote would be read as a request.
function line_out(text) {
  if (text ~ /^[.']/) text = "\\&" text
  print text
}

function trim(text) {
  sub(/^[ \t]+/, "", text)
  sub(/[ \t]+$/, "", text)
  return text
}

function table_row(row,    cells, n, i, text) {
  gsub(/\\\|/, "\001", row)  # an escaped bar is text, not a cell border
  sub(/^[ \t]*\|/, "", row)
  sub(/\|[ \t]*$/, "", row)
  n = split(row, cells, "|")
  for (i = 1; i <= n; ++i) {
    cells[i] = trim(cells[i])
    gsub(/\001/, "|", cells[i])
    cells[i] = inline(roff_escape(cells[i]))
  }
  print ".TP"
  line_out(cells[1])
  text = cells[2]
  for (i = 3; i <= n; ++i) text = text " " cells[i]
  line_out(text)
}

function upper(text) {
  return toupper(text)
}

BEGIN {
  fence = 0; table = 0; started = 0; pending = 0
}

NR == 1 {
  name = $0
  sub(/^# */, "", name)
  summary = name
  sub(/:.*/, "", name)
  sub(/^[^:]*: */, "", summary)
  printf ".TH %s 1 \"\" \"tarvoscn %s\" \"User Commands\"\n", upper(name), version
  print ".SH NAME"
  print name " \\- " summary
  print ".SH DESCRIPTION"
  next
}

fence {
  if ($0 ~ /^```/) {
    print ".fi"
    print ".RE"
    fence = 0; pending = 1
  } else {
    line_out(roff_escape($0))
  }
  next
}

/^```/ {
  print ".PP"
  print ".RS 4"
  print ".nf"
  fence = 1; table = 0
  next
}

/^[ \t]*\|/ {
  if (table == 0) {
    table = 1  # the head row
  } else if (table == 1 && $0 ~ /^[ \t]*\|[ \t:|-]+$/) {
    table = 2  # the rule under the head
  } else {
    table_row($0)
  }
  next
}

table { table = 0; pending = 1 }

/^### / { sub(/^### */, ""); print ".SS " roff_escape($0); started = 0; pending = 0; next }
/^## / { sub(/^## */, ""); print ".SH " upper(roff_escape($0)); started = 0; pending = 0; next }
/^[ \t]*$/ { if (started) pending = 1; started = 0; next }

{
  if (pending) print ".PP"
  pending = 0; started = 1
  line_out(inline(roff_escape($0)))
}
