// Signs a sample file with TavomirCOM: attached, detached and raw, then
// signs and envelopes it for a recipient.
//
//   cscript //Nologo sign.js DATA_FOLDER OUTPUT_FOLDER
//
// DATA_FOLDER holds message.txt (the sample) and recipient.cert.der (the
// recipient's certificate); the results go to OUTPUT_FOLDER:
// message.p7m, message.p7s, message.sig and message.env.p7m.
// The exit status is the number of operations that failed.
var args = WScript.Arguments;
if (args.length < 2) {
    WScript.Echo("usage: cscript //Nologo sign.js DATA_FOLDER OUTPUT_FOLDER");
    WScript.Quit(2);
}
var data = args(0), out = args(1);
var tavomir = new ActiveXObject("TavomirCOM.Tavomir");
var failed = 0;

function run(title, operation, format, output, cert) {
    tavomir.Clear();
    tavomir.Operation = operation;
    tavomir.Format = format;
    tavomir.FileInputOne = data + "\\message.txt";
    tavomir.FileOutputOne = out + "\\" + output;
    tavomir.FileCert = cert;
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

run("attached (F, PKCS)", "F", "PKCS", "message.p7m", "");
run("detached (F, PKCSD)", "F", "PKCSD", "message.p7s", "");
run("raw (F, RSA)", "F", "RSA", "message.sig", "");
run("enveloped (FE, PKCS)", "FE", "PKCS", "message.env.p7m", data + "\\recipient.cert.der");
WScript.Quit(failed);
