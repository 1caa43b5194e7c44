// Time-stamps a file with TavomirCOM ("T") and checks the stamp ("V").
//
//   cscript //Nologo timestamp.js FILE TOKEN_FILE
//
// The time-stamp authority's URL (USAR_TSP, URL_TSP) and the CA certificate
// that issued its certificate (USAR_AC, CERT_AC) come from the settings.
// TOKEN_FILE receives the token as base64 text; the check prints its date,
// serial number and digest. The exit status is the number of operations
// that failed.
var args = WScript.Arguments;
if (args.length < 2) {
    WScript.Echo("usage: cscript //Nologo timestamp.js FILE TOKEN_FILE");
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

run("time stamp (T)", {Operation: "T", FileInputOne: args(0), FileOutputOne: args(1)});
run("its check (V)", {Operation: "V", FileInputOne: args(0), FileInputTwo: args(1)});
WScript.Quit(failed);
