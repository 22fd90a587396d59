# Picks the command examples out of a Markdown page (README.md, docs/*.md) and
# prints them for run-examples.sh, in the order written:
#   @ LINE STATUS      an example starting at LINE, expected to exit with STATUS
#   C TEXT             a line of its command (continuation lines included)
#   O TEXT             a line of output the page shows under it
# An example is a line inside a code block (fenced, or indented by four spaces)
# that starts with `varnolt-cli ` or with `$ `. A `$ ` line may be followed by the
# output it prints; those lines, up to the next `$ ` line or the end of the block,
# must appear in what the command prints (a line `...` stands for lines left out).
# `# exits N` at the end of a command says it fails on purpose with status N.
# A fenced block whose info string holds `no-run` (a synopsis, a cluster recipe)
# is not run.
function command_status(text,    s) {
  s = ""
  if (match(text, /#[ \t]*exits[ \t]+[0-9]+/)) { s = substr(text, RSTART, RLENGTH); sub(/.*exits[ \t]+/, "", s) }
  return s
}
function begin_example(text) { pending_line = NR; pending_text = text; pending_count = 1; lines[1] = text }
function emit_pending(    i, s) {
  if (pending_count == 0) return
  s = 0
  for (i = 1; i <= pending_count; ++i) if (command_status(lines[i]) != "") s = command_status(lines[i])
  print "@ " pending_line " " s
  for (i = 1; i <= pending_count; ++i) print "C " lines[i]
  pending_count = 0
}
function reset_block() { emit_pending(); in_output = 0; continuing = 0; heredoc = "" }
function handle(content,    word) {
  # continuation of a command: a line ending in a backslash, or a here-document
  if (heredoc != "") {
    lines[++pending_count] = content
    if (content == heredoc) { heredoc = ""; emit_pending() }
    return
  }
  if (continuing) {
    lines[++pending_count] = content
    continuing = (content ~ /\\$/)
    if (!continuing) emit_pending()
    return
  }
  if (content ~ /^\$ /) {
    emit_pending()
    in_output = 1
    begin_example(substr(content, 3))
  } else if (!in_output && content ~ /^varnolt-cli( |$)/) {
    begin_example(content)
  } else {
    if (in_output && content != "") print "O " content
    return
  }
  if (match(lines[pending_count], /<<-?[ \t]*'?[A-Za-z_0-9]+'?/)) {
    word = substr(lines[pending_count], RSTART, RLENGTH); sub(/<<-?[ \t]*'?/, "", word); sub(/'$/, "", word)
    heredoc = word
    return
  }
  continuing = (lines[pending_count] ~ /\\$/)
  if (!continuing) emit_pending()
}
BEGIN { fenced = 0; indented = 0; skip = 0; pending_count = 0; previous_blank = 0 }
{
  line = $0
  sub(/\r$/, "", line)
  if (!fenced && match(line, /^ *```/)) {
    reset_block(); indented = 0
    fenced = 1; fence_indent = RLENGTH - 3
    info = substr(line, RLENGTH + 1)
    skip = (info ~ /no-run/)
    next
  }
  if (fenced) {
    if (line ~ /^ *```[ \t]*$/) { reset_block(); fenced = 0; skip = 0; next }
    if (skip) next
    content = line
    for (i = 0; i < fence_indent && substr(content, 1, 1) == " "; ++i) content = substr(content, 2)
    handle(content)
    next
  }
  if (line ~ /^[ \t]*$/) {  # a blank line does not end an indented block
    previous_blank = 1
    if (heredoc != "") lines[++pending_count] = ""
    next
  }
  if (line ~ /^    / && (indented || previous_blank)) {
    if (!indented) { reset_block(); indented = 1; match(line, /^ */); block_indent = RLENGTH }
    content = line
    for (i = 0; i < block_indent && substr(content, 1, 1) == " "; ++i) content = substr(content, 2)
    handle(content)
    previous_blank = 0
    next
  }
  if (indented) { reset_block(); indented = 0 }
  previous_blank = 0
}
END { reset_block() }
