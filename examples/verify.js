// Opens and verifies with TavomirCOM what sign.js wrote: the attached
// signature (compared with the sample), the detached one, the raw one and
// the signed envelope.
//
//   cscript //Nologo verify.js DATA_FOLDER OUTPUT_FOLDER
//
// DATA_FOLDER holds message.txt (the sample) and signer.cert.der (the
// signer's certificate, for the raw signature); OUTPUT_FOLDER holds what
// sign.js wrote there, and receives opened.txt. The raw signature needs a
// revocation check configured (a CRL). The envelope opens when it was made
// for the configured certificate. The exit status is the number of
// operations that failed.
var args = WScript.Arguments;
if (args.length < 2) {
    WScript.Echo("usage: cscript //Nologo verify.js DATA_FOLDER OUTPUT_FOLDER");
    WScript.Quit(2);
}
var data = args(0), out = args(1);
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

run("attached, compared (A, F and N)", {
    Operation: "A", TypeOne: "F", FileInputOne: out + "\\message.p7m", FileOutputOne: out + "\\opened.txt",
    TypeTwo: "N", FileInputTwo: data + "\\message.txt"});
run("detached (AV)", {
    Operation: "AV", FileInputOne: data + "\\message.txt", FileInputTwo: out + "\\message.p7s"});
run("raw (ARSA)", {
    Operation: "ARSA", FileInputOne: data + "\\message.txt", FileInputTwo: out + "\\message.sig",
    FileCert: data + "\\signer.cert.der"});
run("enveloped, compared (A, E and N)", {
    Operation: "A", TypeOne: "E", FileInputOne: out + "\\message.env.p7m", FileOutputOne: "NULL",
    TypeTwo: "N", FileInputTwo: data + "\\message.txt"});
WScript.Quit(failed);
