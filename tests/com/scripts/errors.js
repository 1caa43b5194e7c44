// The same exception through JScript: a catchable error with the description.
//   errors.js INPUT OUTPUT_IN_A_MISSING_FOLDER EXPECTED_DESCRIPTION
var args = WScript.Arguments;
var o = new ActiveXObject("TavomirCOM.Tavomir");
o.Operation = "F";
o.Format = "RSA";
o.FileInputOne = args(0);
o.FileOutputOne = args(1);
var failures = 0;
try {
    o.Execute();
    WScript.Echo("FAIL: no error");
    failures++;
} catch (e) {
    if (e.description !== args(2)) {
        WScript.Echo("FAIL: description: " + e.description);
        failures++;
    }
}
if (o.Message !== "") {
    WScript.Echo("FAIL: Message: " + o.Message);
    failures++;
}
WScript.Quit(failures);
