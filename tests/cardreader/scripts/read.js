// Reads twice with Norvane.CardReader, as a JScript client would, and writes the report that
// read.vbs writes (see there).
//   cscript //nologo read.js <ctype> <report file>
var report = new ActiveXObject("Scripting.FileSystemObject").CreateTextFile(WScript.Arguments(1), true, true);
var reader = new ActiveXObject("Norvane.CardReader");
for (var i = 0; i < 2; ++i) {
    var outcome;
    try {
        outcome = reader.Read(WScript.Arguments(0)) ? "good" : "failed";
    } catch (e) {
        outcome = "fault|" + (e.number >>> 0).toString(16).toUpperCase() + "|" + e.description;
    }
    report.WriteLine(outcome + "|" + reader.ErrorCode + "|" + reader.CardID + "|" + reader.Message);
}
report.Close();
