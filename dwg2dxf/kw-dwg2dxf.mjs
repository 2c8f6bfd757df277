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

// LibreDWG 0.13's DXF writer marks every layer of an R13 and later drawing as off (a negative
// colour in group 62), though its reader knows which are off. The layers' real state is read
// here, by handle, and the sign of each layer's colour is set from it; the DXF is otherwise
// written as LibreDWG wrote it. Before R13 the colour's sign is the DWG's own and stays.
const kLayerType = 51;

function OffLayerHandles(libredwg, path) {
    const read = libredwg.dwg_read_file(path);
    if (!read || !read.data || read.error >= kCritical) {
        return null;
    }
    const layers = new Map(); // upper-case hexadecimal handle: off
    try {
        const count = libredwg.dwg_get_num_objects(read.data);
        for (let i = 0; i < count; ++i) {
            const object = libredwg.dwg_get_object(read.data, i);
            if (!object || libredwg.dwg_object_get_fixedtype(object) !== kLayerType) {
                continue;
            }
            const layer = libredwg.dwg_object_to_object_tio(object);
            const off = libredwg.dwg_dynapi_entity_value(layer, "off").data;
            const handle = libredwg.dwg_obj_get_handle_value(object).toString(16).toUpperCase();
            layers.set(handle, Boolean(off));
        }
    } finally {
        libredwg.dwg_free(read.data);
    }
    return layers;
}

let layerStates = null;

function FixLayerVisibility(bytes) {
    if (!layerStates || layerStates.size === 0) {
        return bytes;
    }
    // Group codes and values are ASCII lines; the layer table is rewritten line by line, the rest
    // of the file is copied as it is.
    const text = Buffer.from(bytes.buffer, bytes.byteOffset, bytes.length).toString("latin1");
    const eol = text.includes("\r\n") ? "\r\n" : "\n";
    const lines = text.split(eol);
    let inLayerTable = false;
    let handle = null;
    for (let i = 0; i + 1 < lines.length; i += 2) {
        const code = lines[i].trim();
        const value = lines[i + 1];
        if (code === "0") {
            if (value.trim() === "LAYER") {
                handle = null;
                inLayerTable = true;
            } else if (inLayerTable && value.trim() !== "LAYER") {
                inLayerTable = false;
            }
        } else if (inLayerTable && code === "5") {
            handle = value.trim().toUpperCase();
        } else if (inLayerTable && code === "62" && handle !== null && layerStates.has(handle)) {
            const colour = Math.abs(parseInt(value, 10));
            if (Number.isFinite(colour)) {
                const signed = layerStates.get(handle) ? -colour : colour;
                lines[i + 1] = String(signed).padStart(value.length, " ");
            }
        }
    }
    return Buffer.from(lines.join(eol), "latin1");
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
const release = bytes.subarray(0, 6).toString("latin1");
const fromR13 = /^AC1\d{3}$/.test(release) && release >= "AC1012";
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
if (fromR13) {
    try {
        layerStates = OffLayerHandles(libredwg, kIn);
    } catch (error) {
        process.stderr.write(`kw-dwg2dxf: layer states not read: ${error.message ?? error}\n`);
    }
}
try {
    fs.writeFileSync(output, FixLayerVisibility(dxf));
} catch (error) {
    Exit(6, `cannot write ${output}: ${error.message}`);
}
process.exit(0);
