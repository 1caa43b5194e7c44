// Every property of a new Tavomir through JScript: the writable ones round-
// trip, the read-only ones refuse a put; Execute, Clear. Prints each failure;
// the exit status is their number.
var failures = 0;
function check(ok, what) {
    if (!ok) {
        WScript.Echo("FAIL: " + what);
        failures++;
    }
}

var o = new ActiveXObject("TavomirCOM.Tavomir");
var writable = ["Operation", "Format", "FileInputOne", "FileOutputOne", "FileInputTwo", "FileOutputTwo",
                "TypeOne", "TypeTwo", "FileCert", "OCSPFileOne", "OCSPFileTwo"];
var readOnly = ["ACFile", "CRLFile", "URLOCSP", "URLTSP", "Message"];
var i;
for (i = 0; i < writable.length; i++) {
    check(o[writable[i]] === "", writable[i] + " starts empty");
    o[writable[i]] = "value " + i + " \u00f1";
}
for (i = 0; i < writable.length; i++)
    check(o[writable[i]] === "value " + i + " \u00f1", writable[i] + " round-trips: " + o[writable[i]]);
for (i = 0; i < readOnly.length; i++) {
    var refused = false;
    try {
        o[readOnly[i]] = "x";
    } catch (e) {
        refused = true;
    }
    check(refused, readOnly[i] + " refuses a put");
    check(o[readOnly[i]] === "", readOnly[i] + " stays empty");
}

o.Operation = "F";
o.Format = "XYZ";
var result = o.Execute();
check(result === false, "Execute answers a boolean false: " + result);
check(o.Message === "1\r\nNo se especific\u00f3 un formato correcto", "Message: " + o.Message);

o.Clear();
check(o.FileCert === "value 8 \u00f1", "Clear keeps FileCert");
check(o.Operation === "" && o.Message === "", "Clear empties the rest");
WScript.Quit(failures);
