#!/usr/bin/env bash
# Prints the side-by-side assembly manifest of Norvane.ocx, through which an application uses the
# control with nothing registered:  assembly-manifest.sh x86|x64 VERSION  >Norvane.Tavrix.manifest
# (VERSION: the product's, three or four numbers). The manifest goes, with Norvane.ocx, into a
# folder named Norvane.Tavrix beside the application, whose own manifest depends on the assembly
# (sdk/registration-free/app.exe.manifest).
# The rows are the installer's (registry-fragment.sh reads them from Norvane.wxs), so that the
# manifest cannot drift from the registration: each key the installer writes becomes an attribute
# here or is named below as one a manifest cannot carry, and any other key stops the script.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/failed-step.sh"
here=$(cd "$(dirname "$0")" && pwd)
usage() { echo "usage: $0 x86|x64 VERSION" >&2; exit 2; }
[ $# -eq 2 ] || usage
arch=$1 version=$2
case $arch in x86) processor=x86 ;; x64) processor=amd64 ;; *) usage ;; esac
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+(\.[0-9]+)?$ ]] || usage
[[ $version =~ \..*\..*\. ]] || version=$version.0

"$here/registry-fragment.sh" "$arch" 'C:\Norvane\Norvane.ocx' | iconv -f UTF-16LE -t UTF-8 | tr -d '\r' |
    PROCESSOR=$processor VERSION=$version awk '
function die(message) { printf "assembly-manifest: %s\n", message >"/dev/stderr"; failed = 1; exit 1 }
function text(s) { sub(/^"/, "", s); sub(/"$/, "", s); gsub(/\\\\/, "\\", s); return s }
function xml(s) { gsub(/&/, "\\&amp;", s); gsub(/"/, "\\&quot;", s); gsub(/</, "\\&lt;", s); return s }
# OLEMISC flags by bit, in the names a manifest uses for them.
function misc_names(n,    i, out) {
    out = ""
    for (i = 0; i < 22; i++) {
        if (int(n / 2 ^ i) % 2) out = out (out == "" ? "" : ",") misc[i]
    }
    if (n >= 2 ^ 22) die("MiscStatus " n " has flags a manifest cannot name")
    return out
}
BEGIN {
    split("recomposeonresize onlyiconic insertnotreplace static cantlinkinside canlinkbyole1 islinkobject " \
          "insideout activatewhenvisible renderingisdeviceindependent invisibleatruntime alwaysrun " \
          "actslikebutton actslikelabel nouiactivate alignable simpleframe setclientsitefirst imemode " \
          "ignoreactivatewhenvisible wantstomenumerge supportsmultilevelundo", names, " ")
    for (i in names) misc[i - 1] = names[i]
}
/^\[/ {
    key = substr($0, 2, length($0) - 2)
    sub(/^HKEY_LOCAL_MACHINE\\Software\\Classes\\/, "", key)
    next
}
!/^(@|"[^"]*")=/ { next }
{
    name = substr($0, 1, index($0, "=") - 1); value = text(substr($0, index($0, "=") + 1))
    n = split(key, part, "\\")
    if (part[1] == "CLSID") {
        clsid = part[2]
        sub_key = n > 2 ? substr(key, length(part[1]) + length(part[2]) + 3) : ""
        if (sub_key == "" && name == "@") description = value
        else if (sub_key == "InprocServer32" && name == "\"ThreadingModel\"") threading = value
        else if (sub_key == "InprocServer32") { }  # the file: the manifest names it
        else if (sub_key == "ProgID") progid = value
        else if (sub_key == "TypeLib") class_tlbid = value
        else if (sub_key == "MiscStatus") misc_all = value + 0
        else if (sub_key == "MiscStatus\\1") misc_content = value + 0
        # Not for a manifest: the class version, the toolbox bitmap, the control category and the
        # verbs (design-time containers read them from the registry).
        else if (sub_key ~ /^(Version|ToolboxBitmap32|Control|Verb|Verb\\[0-9]+)$/) { }
        else die("a class key a manifest cannot say: " key)
    } else if (part[1] == "TypeLib") {
        tlbid = part[2]; tlb_version = part[3]
        if (n == 3 && name == "@") { }                       # its name: in the library itself
        else if (n == 4 && part[4] == "FLAGS") tlb_flags = value + 0
        else if (n == 4 && part[4] == "HELPDIR") { }         # the assembly folder stands for it
        else if (n == 5 && part[4] == "0" && part[5] ~ /^win(32|64)$/) { }  # the file
        else die("a type library key a manifest cannot say: " key)
    } else if (part[1] == "Interface") {
        iid = part[2]
        if (!(iid in seen)) { seen[iid] = 1; order[++interfaces] = iid }
        if (n == 2 && name == "@") interface_name[iid] = value
        else if (n == 3 && part[3] == "ProxyStubClsid32") proxy[iid] = value
        else if (n == 3 && part[3] == "ProxyStubClsid") { }  # the same class, for 16-bit callers
        else if (n == 3 && part[3] == "TypeLib" && name == "@") interface_tlbid[iid] = value
        else if (n == 3 && part[3] == "TypeLib") { }
        else die("an interface key a manifest cannot say: " key)
    } else if (n == 2 && part[2] == "Clsid") {
        if (value != clsid && clsid != "") die("the ProgID " part[1] " names another class")
    } else if (n == 1 && name == "@") {
    } else die("a key a manifest cannot say: " key)
}
END {
    if (failed) exit 1
    if (clsid == "" || progid == "" || threading == "" || tlbid == "" || class_tlbid != tlbid)
        die("the rows lack the class, its ProgID, threading model or type library")
    flags = ""
    if (int(tlb_flags / 1) % 2) flags = flags ",RESTRICTED"
    if (int(tlb_flags / 2) % 2) flags = flags ",CONTROL"
    if (int(tlb_flags / 4) % 2) flags = flags ",HIDDEN"
    if (int(tlb_flags / 8) % 2) flags = flags ",HASDISKIMAGE"
    if (tlb_flags >= 16) die("type library FLAGS " tlb_flags " has flags a manifest cannot name")
    sub(/^,/, "", flags)
    printf "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    printf "<!-- Norvane.ocx, the Tavrix control, for applications that use it with nothing registered. -->\n"
    printf "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n"
    printf "  <assemblyIdentity type=\"win32\" name=\"Norvane.Tavrix\" version=\"%s\" processorArchitecture=\"%s\" />\n",
        ENVIRON["VERSION"], ENVIRON["PROCESSOR"]
    printf "  <file name=\"Norvane.ocx\">\n"
    printf "    <comClass clsid=\"%s\" progid=\"%s\" threadingModel=\"%s\" tlbid=\"%s\" description=\"%s\"", \
        clsid, xml(progid), threading, tlbid, xml(description)
    if (misc_all) printf "\n              miscStatus=\"%s\"", misc_names(misc_all)
    if (misc_content) printf "\n              miscStatusContent=\"%s\"", misc_names(misc_content)
    printf " />\n"
    printf "    <typelib tlbid=\"%s\" version=\"%s\" helpdir=\"\" flags=\"%s\" />\n", tlbid, tlb_version, flags
    printf "  </file>\n"
    for (i = 1; i <= interfaces; i++) {
        iid = order[i]
        printf "  <comInterfaceExternalProxyStub name=\"%s\" iid=\"%s\" proxyStubClsid32=\"%s\" tlbid=\"%s\" />\n", \
            xml(interface_name[iid]), iid, proxy[iid], interface_tlbid[iid]
    }
    printf "</assembly>\n"
}'
