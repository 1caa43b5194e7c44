// The same exception through JScript: a catchable error with the object's
// description and a failing HRESULT; Message keeps its previous text.
//   errors.js INPUT OUTPUT_IN_A_MISSING_FOLDER EXPECTED_DESCRIPTION
var args = WScript.Arguments;
var failures = 0;
function check(ok, what) {
    if (!ok) {
        WScript.Echo("FAIL: " + what);
        failures++;
    }
}

var o = new ActiveXObject("TavomirCOM.Tavomir");
o.Operation = "F";
o.Format = "XYZ";
o.Execute();
var before = o.Message;
check(before !== "", "a first result to keep");

o.Format = "RSA";
o.FileInputOne = args(0);
o.FileOutputOne = args(1);
var raised = false;
try {
    o.Execute();
} catch (e) {
    raised = true;
    check(e.description === args(2), "description: " + e.description);
    check(e.number < 0, "a failing HRESULT: " + e.number);
}
check(raised, "Execute raised an error");
check(o.Message === before, "Message unchanged: " + o.Message);
WScript.Quit(failures);
