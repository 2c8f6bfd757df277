// The second DWG candidate, for bench/dwg_candidates.sh only: libdxfrw (GPL-2.0-only, compiled to
// WebAssembly in @mlightcad/libdxfrw-web) reads the DWG into its entity-callback database, and
// its own DXF writer writes that database out again (release 2007, UTF-8).
//
//   node libdxfrw.mjs IN.dwg OUT.dxf        exit status as kw-dwg2dxf: 0, 4, 5, 6
import fs from "node:fs";
import v8 from "node:v8";

v8.setFlagsFromString("--liftoff-only");

const [input, output] = process.argv.slice(2);
const url = new URL("./node_modules/@mlightcad/libdxfrw-web/dist/libdxfrw.js", import.meta.url);
const { default: createModule } = await import(url);
let bytes;
try {
    bytes = fs.readFileSync(input);
} catch (error) {
    process.stderr.write(`libdxfrw.mjs: ${error.message}\n`);
    process.exit(4);
}
const libdxfrw = await createModule({ print: (t) => process.stderr.write(`${t}\n`) });
const database = new libdxfrw.DRW_Database();
const handler = new libdxfrw.DRW_FileHandler();
handler.database = database;
let dxf;
try {
    if (!handler.fileImport(new Uint8Array(bytes), database, false, false)) {
        process.stderr.write("libdxfrw.mjs: libdxfrw cannot read the drawing\n");
        process.exit(5);
    }
    dxf = handler.fileExport(libdxfrw.DRW_Version.AC1021, false, database, false);
} catch (error) {
    process.stderr.write(`libdxfrw.mjs: libdxfrw failed: ${error.message ?? error}\n`);
    process.exit(5);
}
try {
    fs.writeFileSync(output, dxf);
} catch (error) {
    process.stderr.write(`libdxfrw.mjs: ${error.message}\n`);
    process.exit(6);
}
process.exit(0);
