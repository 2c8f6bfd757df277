#!/usr/bin/env node
// kw-dwg2dxf: converts one DWG drawing into a DXF file with LibreDWG (GPL-3.0-or-later, compiled
// to WebAssembly in the npm package @mlightcad/libredwg-web). Kestrelwick runs it as a program of
// its own, so the library is never linked into Kestrelwick.
//
//   node kw-dwg2dxf.mjs IN.dwg OUT.dxf
//
// The DXF keeps the DWG's release and code page. Exit status: 0 converted (LibreDWG's warnings on
// stderr), 2 wrong arguments, 3 the package is not installed, 4 IN cannot be read, 5 LibreDWG
// cannot read the drawing (stderr says why, with LibreDWG's error bits), 6 OUT cannot be written.
import fs from "node:fs";
import v8 from "node:v8";

// V8 would otherwise optimise the 9 MB module in the background: ten times the time and several
// gigabytes of memory for a drawing that the baseline compiler converts in a second.
v8.setFlagsFromString("--liftoff-only");

const kPackage = "@mlightcad/libredwg-web";

function Exit(status, message) {
    if (message) {
        process.stderr.write(`kw-dwg2dxf: ${message}\n`);
    }
    process.exit(status);
}

// LibreDWG's error bits (dwg.h); from 128 on the drawing could not be read.
const kErrorBits = [
    [1, "wrong CRC"],
    [2, "not yet supported"],
    [4, "unhandled class"],
    [8, "invalid type"],
    [16, "invalid handle"],
    [32, "invalid extended data"],
    [64, "value out of bounds"],
    [128, "classes not found"],
    [256, "section not found"],
    [512, "page not found"],
    [1024, "internal error"],
    [2048, "invalid DWG"],
    [4096, "I/O error"],
    [8192, "out of memory"],
];
const kCritical = 128;

function DescribeErrors(code) {
    const names = kErrorBits.filter(([bit]) => (code & bit) !== 0).map(([, name]) => name);
    return `LibreDWG error ${code} (${names.join(", ")})`;
}

const [input, output, ...rest] = process.argv.slice(2);
if (!input || !output || rest.length > 0) {
    Exit(2, "usage: kw-dwg2dxf IN.dwg OUT.dxf");
}

let bytes;
try {
    bytes = fs.readFileSync(input);
} catch (error) {
    Exit(4, `cannot read ${input}: ${error.message}`);
}

let createModule;
try {
    const url = new URL(`./node_modules/${kPackage}/wasm/libredwg-web.js`, import.meta.url);
    ({ default: createModule } = await import(url));
} catch (error) {
    Exit(3, `${kPackage} is not installed beside the converter (${error.code ?? error.message}); ` +
        "run `npm ci` in its folder");
}

const messages = [];
const libredwg = await createModule({
    print: (text) => messages.push(text),
    printErr: (text) => messages.push(text),
});
const kIn = "/in.dwg";
const kOut = "/out.dxf";
libredwg.FS.writeFile(kIn, new Uint8Array(bytes.buffer, bytes.byteOffset, bytes.length));
bytes = null;

let code;
try {
    code = libredwg.dwg_write_dxf(kIn, kOut);
} catch (error) {
    // A trap inside the library (an out-of-bounds access on a damaged file, an abort).
    for (const line of messages.slice(-20)) process.stderr.write(`${line}\n`);
    Exit(5, `LibreDWG failed on the drawing: ${error.message ?? error}`);
}
for (const line of messages.slice(-20)) process.stderr.write(`${line}\n`);

let dxf = null;
try {
    dxf = libredwg.FS.readFile(kOut);
} catch {
    dxf = null;
}
if (code >= kCritical || !dxf || dxf.length === 0) {
    Exit(5, `LibreDWG cannot read the drawing: ${DescribeErrors(code)}`);
}
if (code !== 0) {
    process.stderr.write(`kw-dwg2dxf: converted with warnings: ${DescribeErrors(code)}\n`);
}
try {
    fs.writeFileSync(output, dxf);
} catch (error) {
    Exit(6, `cannot write ${output}: ${error.message}`);
}
process.exit(0);
