// Verifies a signed file with the OCSP check configured (USAR_OCSP, URL_OCSP
// and the CA in CERT_AC), keeps the responder's answer, then checks the
// kept answer on its own with the operation "OCSP".
//
//   cscript //Nologo ocsp.js SIGNED_FILE ANSWER_FILE
//
// The exit status is the number of operations that failed.
var args = WScript.Arguments;
if (args.length < 2) {
    WScript.Echo("usage: cscript //Nologo ocsp.js SIGNED_FILE ANSWER_FILE");
    WScript.Quit(2);
}
var tavomir = new ActiveXObject("TavomirCOM.Tavomir");
var failed = 0;

function run(title, fields) {
    tavomir.Clear();
    for (var name in fields) tavomir[name] = fields[name];
    var ok;
    try {
        ok = tavomir.Execute();
    } catch (e) {
        WScript.Echo(title + ": error " + (e.number >>> 0).toString(16) + " " + e.description);
        failed++;
        return;
    }
    if (!ok) failed++;
    WScript.Echo(title + ": Execute " + ok + ", Message " + tavomir.Message.replace(/\r\n/g, " | "));
}

run("verified, the answer kept (A, F)", {
    Operation: "A", TypeOne: "F", FileInputOne: args(0), FileOutputOne: "NULL", OCSPFileOne: args(1)});
run("the kept answer (OCSP)", {Operation: "OCSP", FileInputOne: args(1)});
WScript.Quit(failed);
