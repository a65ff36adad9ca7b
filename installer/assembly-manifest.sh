#!/usr/bin/env bash
# Prints the side-by-side assembly manifest of Norvane.ocx and its reader object
# NorvaneCardReader.dll, through which an application uses both with nothing registered:
#   assembly-manifest.sh x86|x64 VERSION  >Norvane.Tavrix.manifest
# (VERSION: the product's, three or four numbers). The manifest goes, with both files, into a
# folder named Norvane.Tavrix beside the application, whose own manifest depends on the assembly
# (sdk/registration-free/app.exe.manifest). One assembly for both: the reader object creates the
# control, so an application that has one needs the other, in one folder, under one dependency.
# The rows are the installer's (registry-fragment.sh reads them from Norvane.wxs), so that the
# manifest cannot drift from the registration: each key the installer writes becomes an attribute
# here or is named below as one a manifest cannot carry, and any other key stops the script. Each
# class and type library goes into the <file> that its registered path names.
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
# The file a registered path names: every file of the assembly lies in its folder.
function file_of(path,    name) {
    if (path !~ /^C:\\Norvane\\[^\\]+$/) die("a path outside the assembly folder: " path)
    name = substr(path, 12)
    if (!(name in seen_file)) { seen_file[name] = 1; files[++file_count] = name }
    return name
}
function library_flags(n,    out) {
    out = ""
    if (int(n / 1) % 2) out = out ",RESTRICTED"
    if (int(n / 2) % 2) out = out ",CONTROL"
    if (int(n / 4) % 2) out = out ",HIDDEN"
    if (int(n / 8) % 2) out = out ",HASDISKIMAGE"
    if (n >= 16) die("type library FLAGS " n " has flags a manifest cannot name")
    return substr(out, 2)
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
        if (!(clsid in seen_class)) { seen_class[clsid] = 1; classes[++class_count] = clsid }
        sub_key = n > 2 ? substr(key, length(part[1]) + length(part[2]) + 3) : ""
        if (sub_key == "" && name == "@") description[clsid] = value
        else if (sub_key == "InprocServer32" && name == "\"ThreadingModel\"") threading[clsid] = value
        else if (sub_key == "InprocServer32") class_file[clsid] = file_of(value)
        else if (sub_key == "ProgID") progid[clsid] = value
        else if (sub_key == "TypeLib") class_tlbid[clsid] = value
        else if (sub_key == "MiscStatus") misc_all[clsid] = value + 0
        else if (sub_key == "MiscStatus\\1") misc_content[clsid] = value + 0
        # Not for a manifest: the class version, the toolbox bitmap, the control category and the
        # verbs (design-time containers read them from the registry).
        else if (sub_key ~ /^(Version|ToolboxBitmap32|Control|Verb|Verb\\[0-9]+)$/) { }
        else die("a class key a manifest cannot say: " key)
    } else if (part[1] == "TypeLib") {
        tlbid = part[2]
        if (!(tlbid in seen_library)) { seen_library[tlbid] = 1; libraries[++library_count] = tlbid }
        tlb_version[tlbid] = part[3]
        if (n == 3 && name == "@") { }                       # its name: in the library itself
        else if (n == 4 && part[4] == "FLAGS") tlb_flags[tlbid] = value + 0
        else if (n == 4 && part[4] == "HELPDIR") { }         # the assembly folder stands for it
        else if (n == 5 && part[4] == "0" && part[5] ~ /^win(32|64)$/) tlb_file[tlbid] = file_of(value)
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
        progid_class[part[1]] = value
    } else if (n == 1 && name == "@") {
    } else die("a key a manifest cannot say: " key)
}
END {
    if (failed) exit 1
    if (!class_count) die("the rows hold no class")
    for (i = 1; i <= class_count; i++) {
        clsid = classes[i]
        if (!(clsid in class_file) || progid[clsid] == "" || threading[clsid] == "" || !(class_tlbid[clsid] in tlb_file))
            die("the rows lack the file, ProgID, threading model or type library of the class " clsid)
        if (progid_class[progid[clsid]] != clsid) die("the ProgID " progid[clsid] " does not name the class " clsid)
    }
    for (p in progid_class) {
        for (i = 1; i <= class_count && progid[classes[i]] != p; i++) { }
        if (i > class_count) die("the ProgID " p " is no class'"'"'s")
    }
    for (i = 1; i <= library_count; i++)
        if (!(libraries[i] in tlb_file)) die("the rows lack the file of the type library " libraries[i])
    for (i = 1; i <= interfaces; i++)
        if (!(interface_tlbid[order[i]] in tlb_file) || proxy[order[i]] == "")
            die("the rows lack the type library or proxy of the interface " order[i])
    printf "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    printf "<!-- Norvane.ocx, the Tavrix control, and NorvaneCardReader.dll, its reader object, for applications that use them with nothing registered. -->\n"
    printf "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n"
    printf "  <assemblyIdentity type=\"win32\" name=\"Norvane.Tavrix\" version=\"%s\" processorArchitecture=\"%s\" />\n",
        ENVIRON["VERSION"], ENVIRON["PROCESSOR"]
    for (f = 1; f <= file_count; f++) {
        printf "  <file name=\"%s\">\n", xml(files[f])
        for (i = 1; i <= class_count; i++) {
            clsid = classes[i]
            if (class_file[clsid] != files[f]) continue
            printf "    <comClass clsid=\"%s\" progid=\"%s\" threadingModel=\"%s\" tlbid=\"%s\" description=\"%s\"", \
                clsid, xml(progid[clsid]), threading[clsid], class_tlbid[clsid], xml(description[clsid])
            if (misc_all[clsid]) printf "\n              miscStatus=\"%s\"", misc_names(misc_all[clsid])
            if (misc_content[clsid]) printf "\n              miscStatusContent=\"%s\"", misc_names(misc_content[clsid])
            printf " />\n"
        }
        for (i = 1; i <= library_count; i++) {
            tlbid = libraries[i]
            if (tlb_file[tlbid] != files[f]) continue
            printf "    <typelib tlbid=\"%s\" version=\"%s\" helpdir=\"\" flags=\"%s\" />\n", \
                tlbid, tlb_version[tlbid], library_flags(tlb_flags[tlbid])
        }
        printf "  </file>\n"
    }
    for (i = 1; i <= interfaces; i++) {
        iid = order[i]
        printf "  <comInterfaceExternalProxyStub name=\"%s\" iid=\"%s\" proxyStubClsid32=\"%s\" tlbid=\"%s\" />\n", \
            xml(interface_name[iid]), iid, proxy[iid], interface_tlbid[iid]
    }
    printf "</assembly>\n"
}'
