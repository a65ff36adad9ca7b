#!/usr/bin/env bash
# Prints the registry entries of the installer as a .reg file, for integrators whose own installer
# places Norvane.ocx and the package's other files (NorvaneCardReader.dll) beside it:
#   registry-fragment.sh x86|x64 OCXPATH  >Norvane-ARCH.reg
# (OCXPATH: where the OCX will lie on the target machine, e.g. C:\Program Files\Norvane\Norvane.ocx).
# The rows are read from Norvane.wxs for that Arch, through its <?define?> and <?if?>, so that
# the fragment cannot drift from the package; [!Id] and [#Id] of the first <File> become OCXPATH,
# of any other the path of that file in OCXPATH's folder, and [INSTALLDIR] that folder. Anything
# the file uses that a .reg cannot say the same way (another root, type, formatted text or
# preprocessor directive) stops the script rather than being guessed.
# The output is what regedit writes: UTF-16LE with a byte order mark and CRLF line ends (the verb
# is Japanese; an ANSI .reg would depend on the importing machine's code page).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/failed-step.sh"
here=$(cd "$(dirname "$0")" && pwd)
wxs=${NORVANE_WXS:-$here/Norvane.wxs}
usage() { echo "usage: $0 x86|x64 OCXPATH" >&2; exit 2; }
[ $# -eq 2 ] || usage
arch=$1 ocx=$2
case $arch in x86 | x64) ;; *) usage ;; esac
ocx_form='^[A-Za-z]:\\([^\\"]+\\)*[^\\"]+$'
[[ $ocx =~ $ocx_form ]] ||
    { echo "registry-fragment: OCXPATH must be a full Windows path such as C:\\Folder\\Norvane.ocx" >&2; exit 2; }

# 32-bit programs that run System32\reg.exe on 64-bit Windows get the 32-bit one: /reg:64 is the
# way that works from either.
if [ "$arch" = x64 ]; then
    view='; Must be imported into the 64-bit registry view: with the 64-bit reg or regedit, or with "reg import Norvane-x64.reg /reg:64".'
else
    view='; Must be imported into the 32-bit registry view: with "reg import Norvane-x86.reg /reg:32", or the 32-bit regedit (%SystemRoot%\SysWOW64\regedit.exe on 64-bit Windows).'
fi

# Records split at "<", which XML allows in no attribute value; comments and processing
# instructions, which may hold one, are joined again.
text=$(ARCH=$arch OCX=$ocx WXS=$wxs awk -v RS='<' '
function die(message) { printf "registry-fragment: %s: %s\n", ENVIRON["WXS"], message >"/dev/stderr"; failed = 1; exit 1 }
function expand(s,    out, name) {
    out = ""
    while (match(s, /\$\(/)) {
        out = out substr(s, 1, RSTART - 1)
        s = substr(s, RSTART)
        if (!match(s, /^\$\(var\.[A-Za-z_][A-Za-z0-9_.]*\)/)) die("cannot expand " substr(s, 1, 40))
        name = substr(s, 7, RLENGTH - 7)
        if (!(name in var)) die("$(var." name ") is not defined for Arch=" var["Arch"])
        out = out var[name]
        s = substr(s, RLENGTH + 1)
    }
    return out s
}
function unquote(s) {
    if (s ~ /^".*"$/ || s ~ /^\047.*\047$/) return substr(s, 2, length(s) - 2)
    return s
}
function operand(    s) {
    if (!match(cond, /^[ \t]*("[^"]*"|[^ \t"=!~]+)[ \t]*/)) die("cannot read the condition: " whole)
    s = substr(cond, RSTART, RLENGTH); cond = substr(cond, RLENGTH + 1)
    gsub(/^[ \t]+|[ \t]+$/, "", s)
    return unquote(s)
}
function condition(c,    left, op, right) {
    whole = c; cond = expand(c)
    left = operand()
    if (!match(cond, /^(=|!=|~=)/)) die("cannot read the condition: " whole)
    op = substr(cond, 1, RLENGTH); cond = substr(cond, RLENGTH + 1)
    right = operand()
    if (cond != "") die("cannot read the condition: " whole)
    if (op == "~=") return tolower(left) == tolower(right)
    return (op == "=") == (left == right)
}
function active(    i) { for (i = 1; i <= depth; i++) if (!taking[i]) return 0; return 1 }
function directive(body,    word, rest, v) {
    sub(/\?>$/, "", body)
    match(body, /^[A-Za-z]+/); word = substr(body, 1, RLENGTH); rest = substr(body, RLENGTH + 1)
    gsub(/^[ \t\r\n]+|[ \t\r\n]+$/, "", rest)
    if (word == "xml") return
    if (word == "if" || word == "ifdef" || word == "ifndef") {
        depth++; done[depth] = 0
        if (!active_below()) { taking[depth] = 0; done[depth] = 1; return }
        v = word == "if" ? condition(rest) : (word == "ifdef") == (rest in var)
        taking[depth] = v; done[depth] = v
        return
    }
    if (word == "elseif" || word == "else") {
        if (!depth) die("<?" word "?> without <?if?>")
        if (done[depth]) { taking[depth] = 0; return }
        v = word == "else" ? 1 : condition(rest)
        taking[depth] = v; done[depth] = v
        return
    }
    if (word == "endif") { if (!depth) die("<?endif?> without <?if?>"); depth--; return }
    if (!active()) return
    if (word == "define") {
        if (!match(rest, /^[A-Za-z_][A-Za-z0-9_.]*[ \t]*=/)) die("cannot read <?define " rest "?>")
        v = substr(rest, 1, RLENGTH - 1); sub(/[ \t]+$/, "", v)
        rest = substr(rest, RLENGTH + 1); gsub(/^[ \t]+/, "", rest)
        var[v] = expand(unquote(rest))
        return
    }
    die("the directive <?" word "?> is not supported here")
}
function active_below(    i) { for (i = 1; i < depth; i++) if (!taking[i]) return 0; return 1 }
function attribute_value(s) {
    gsub(/[\t\r\n]/, " ", s)
    if (s ~ /&#/) die("character references are not supported: " s)
    gsub(/&lt;/, "<", s); gsub(/&gt;/, ">", s); gsub(/&quot;/, "\"", s); gsub(/&apos;/, "\047", s)
    gsub(/&amp;/, "\\&", s)
    return s
}
function formatted(s,    out, name) {
    out = ""
    while (match(s, /\[[^]]*\]/)) {
        name = substr(s, RSTART + 1, RLENGTH - 2)
        out = out substr(s, 1, RSTART - 1)
        if (name ~ /^[!#]/ && (substr(name, 2) in file)) out = out file[substr(name, 2)]
        else if (name == "INSTALLDIR") out = out folder
        else die("no replacement for [" name "] in " row)
        s = substr(s, RSTART + RLENGTH)
    }
    return out s
}
# (a loop: how gsub treats backslashes in its replacement differs between awks)
function reg_string(s,    out, i, c) {
    out = ""
    for (i = 1; i <= length(s); i++) { c = substr(s, i, 1); out = out (c == "\\" || c == "\"" ? "\\" : "") c }
    return "\"" out "\""
}
# The attributes of an element into a, with variables and formatted text replaced when formatting
# (the Source of a File names a variable given to the build); what follows them stays in rest.
function attributes(attrs, a, formatting,    n, name) {
    split("", a)
    while (match(attrs, /^[ \t\r\n]+[A-Za-z_:][A-Za-z0-9_.:-]*[ \t\r\n]*=[ \t\r\n]*("[^"]*"|\047[^\047]*\047)/)) {
        n = substr(attrs, 1, RLENGTH); attrs = substr(attrs, RLENGTH + 1)
        gsub(/^[ \t\r\n]+/, "", n)
        match(n, /^[A-Za-z0-9_.:-]+/); name = substr(n, 1, RLENGTH)
        n = substr(n, RLENGTH + 1); sub(/^[ \t\r\n]*=[ \t\r\n]*/, "", n)
        a[name] = attribute_value(unquote(n))
        if (formatting) a[name] = formatted(expand(a[name]))
    }
    rest = attrs
}
function element(tag,    name, attrs, a, key) {
    match(tag, /^[A-Za-z_][A-Za-z0-9_.:-]*/); name = substr(tag, 1, RLENGTH); attrs = substr(tag, RLENGTH + 1)
    if (name == "RegistryKey" || name == "RemoveRegistryKey" || name == "RemoveRegistryValue")
        die("<" name "> is not supported here")
    row = "<" tag; sub(/[ \t\r\n]+$/, "", row)
    # The rows name files by Id. The first File is the OCX, at OCXPATH; the others lie beside it.
    if (name == "File") {
        attributes(attrs, a, 0)
        if (a["Id"] == "" || a["Name"] == "" || a["Name"] ~ /[\\\/]/) die("a File needs an Id and a plain Name: " row)
        file[a["Id"]] = files++ ? folder a["Name"] : ocx
        return
    }
    if (name != "RegistryValue") return
    if (attrs !~ /\/>[ \t\r\n]*$/) die("a RegistryValue with content is not supported: " row)
    attributes(attrs, a, 1)
    if (rest !~ /^[ \t\r\n]*\/>[ \t\r\n]*$/) die("cannot read " row)
    if (a["Root"] != "HKLM") die("only Root=\"HKLM\" is supported: " row)
    if (a["Type"] != "string") die("only Type=\"string\" is supported: " row)
    if (("Action" in a) && a["Action"] != "write") die("only Action=\"write\" is supported: " row)
    if (!("Key" in a) || !("Value" in a)) die("a RegistryValue needs Key and Value: " row)
    key = "HKEY_LOCAL_MACHINE\\" a["Key"]
    if (key != last) { printf "%s[%s]\n", (last == "" ? "" : "\n"), key; last = key }
    printf "%s=%s\n", (a["Name"] == "" ? "@" : reg_string(a["Name"])), reg_string(a["Value"])
    rows++
}
BEGIN {
    var["Arch"] = ENVIRON["ARCH"]; ocx = ENVIRON["OCX"]
    folder = ocx; sub(/[^\\]*$/, "", folder)
}
NR == 1 { next }
pending != "" {
    pending = pending "<" $0
    if (pending !~ (kind == "?" ? "\\?>" : "-->")) next
    $0 = pending; pending = ""
}
/^!--/ { if ($0 !~ /-->/) { pending = $0; kind = "!" } next }
/^\?/ {
    if ($0 !~ /\?>/) { pending = $0; kind = "?"; next }
    body = substr($0, 2); sub(/\?>[^>]*$/, "?>", body)
    directive(body)
    next
}
/^!/ { die("<!...> other than comments are not supported") }
/^\// { next }
active() { element($0) }
END {
    if (failed) exit 1
    if (pending != "") die("unterminated <" substr(pending, 1, 20))
    if (depth) die("<?if?> without <?endif?>")
    if (!rows) die("no RegistryValue rows")
}
' "$wxs")
# (command substitution strips the blank line that ends a .reg; it is added again below)

{
    printf '\xff\xfe'
    printf 'Windows Registry Editor Version 5.00\n\n%s\n%s\n%s\n\n%s\n\n' \
        "; Norvane.ocx and NorvaneCardReader.dll ($arch), the Tavrix control and its reader object: the registry entries its installer writes, for every user of the machine." \
        "; For the files in ${ocx%\\*}\\ (Norvane.ocx at $ocx); for another place, replace that folder throughout (backslashes doubled inside quotes)." \
        "$view" "$text" | sed 's/$/\r/' | iconv -f UTF-8 -t UTF-16LE
}
