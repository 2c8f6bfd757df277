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
// here, by handle, and the sign of each layer's colour is set from it. Before R13 the colour's
// sign is the DWG's own and stays.
//
// It also writes a table (ACAD_TABLE) of release 2010 and later as a bare "0 ACAD_TABLE" with no
// group at all: its reader does not decode such a table's body. What the DWG still yields is
// read here: the table's handle and colour, the anonymous block that holds its drawing (the block
// record whose references name the table), the owner whose entity list holds it, and the graphics
// the table stores for programs that cannot draw it (the same stream a proxy entity keeps; its
// first record places the table). Each bare record is rewritten from these; the DXF is otherwise
// written as LibreDWG wrote it.
const kLayerType = 51;
const kBlockHeaderType = 49;
const kPushMatrix = 29; // the graphics record that places what follows
const kUnknownEntityType = 65534; // an entity of a class LibreDWG does not know

const Hex = (value) => value.toString(16).toUpperCase();

// The handles of a block record's list field (entities, inserts).
function HandleList(libredwg, record, countField, listField) {
    const count = libredwg.dwg_dynapi_entity_value(record, countField).data ?? 0;
    const list = libredwg.dwg_dynapi_entity_value(record, listField).data;
    if (!count || !list) {
        return [];
    }
    return libredwg.dwg_ptr_to_object_ref_ptr_array(list, count)
        .map((ref) => Hex(libredwg.dwg_ref_get_absref(ref)));
}

// The table's insertion point from its graphics, when they start by placing it without turning
// or scaling it (the block reference written for it has no rotation or scale).
function TableInsertion(graphics) {
    if (graphics.length < 16 + 128) {
        return null;
    }
    const view = new DataView(graphics.buffer, graphics.byteOffset, graphics.length);
    if (view.getUint32(12, true) !== kPushMatrix || view.getUint32(8, true) < 8 + 128) {
        return null;
    }
    const m = Array.from({ length: 16 }, (_, k) => view.getFloat64(16 + 8 * k, true));
    const identity = [0, 1, 2, 4, 5, 6, 8, 9, 10].every((k) =>
        Math.abs(m[k] - ([0, 5, 10].includes(k) ? 1 : 0)) < 1e-12);
    if (!identity || !m.every(Number.isFinite)) {
        return null;
    }
    return [m[3], m[7], m[11]];
}

function ReadDrawingFacts(libredwg, path) {
    const read = libredwg.dwg_read_file(path);
    if (!read || !read.data || read.error >= kCritical) {
        return null;
    }
    const layers = new Map(); // upper-case hexadecimal handle: off
    const tables = [];
    const customs = []; // entities of other applications
    const blockOfTable = new Map(); // table handle: its block record's handle
    const owners = []; // [owner handle, its entity handles]
    const listed = new Set(); // every handle of every owner's list
    try {
        const count = libredwg.dwg_get_num_objects(read.data);
        const modelSpace = libredwg.dwg_model_space_object(read.data);
        const paperSpace = libredwg.dwg_paper_space_object(read.data);
        let modelList = null;
        let paperList = null;
        for (let i = 0; i < count; ++i) {
            const object = libredwg.dwg_get_object(read.data, i);
            if (!object) {
                continue;
            }
            const type = libredwg.dwg_object_get_fixedtype(object);
            const handle = Hex(libredwg.dwg_obj_get_handle_value(object));
            if (type === kLayerType) {
                const layer = libredwg.dwg_object_to_object_tio(object);
                layers.set(handle, Boolean(libredwg.dwg_dynapi_entity_value(layer, "off").data));
            } else if (type === kBlockHeaderType) {
                const record = libredwg.dwg_object_to_object_tio(object);
                const entities = HandleList(libredwg, record, "num_owned", "entities");
                owners.push([handle, entities]);
                entities.forEach((entity) => listed.add(entity));
                if (object === modelSpace) modelList = entities;
                if (object === paperSpace) paperList = entities;
                for (const insert of HandleList(libredwg, record, "num_inserts", "inserts")) {
                    blockOfTable.set(insert, handle);
                }
            } else if (type === kUnknownEntityType) {
                const entity = libredwg.dwg_object_to_entity_tio(object);
                const preview = libredwg.dwg_entity_get_preview(object);
                const color = libredwg.dwg_dynapi_common_value(entity, "color").data;
                const layer = libredwg.dwg_dynapi_common_value(entity, "layer").data;
                customs.push({
                    handle,
                    classNumber: libredwg.dwg_object_get_type(object),
                    graphics: preview && preview.data ? Uint8Array.from(preview.data) : null,
                    color: color && color.index >= 0 && color.index < 256 ? color.index : null,
                    layer: layer ? Hex(libredwg.dwg_ref_get_absref(layer)) : null,
                });
            } else if (String(libredwg.dwg_object_get_dxfname(object)) === "ACAD_TABLE") {
                const entity = libredwg.dwg_object_to_entity_tio(object);
                const preview = libredwg.dwg_entity_get_preview(object);
                const color = libredwg.dwg_dynapi_common_value(entity, "color").data;
                tables.push({
                    handle,
                    graphics: preview && preview.data ? Uint8Array.from(preview.data) : null,
                    color: color && color.index > 0 && color.index < 256 ? color.index : null,
                });
            }
        }
        // Where each table stands: after which record (its predecessor in its owner's list, or
        // the start of its owner), so that the bare records of the DXF can be told apart.
        const where = new Map(); // table handle: { owner, after }
        const after = (list, k, start) => (k > 0 ? list[k - 1] : start);
        for (const [owner, list] of owners) {
            // Model space and the current paper space are written together, in the ENTITIES
            // section; every other block's entities follow its BLOCK record.
            const inEntities = list === modelList || list === paperList;
            list.forEach((entity, k) => {
                let start = `BLOCK ${owner}`;
                if (list === modelList) start = "ENTITIES";
                if (list === paperList) start = modelList?.length ? modelList.at(-1) : "ENTITIES";
                where.set(entity, {
                    owner, paper: list === paperList, after: after(list, k, start), inEntities,
                });
            });
        }
        for (const table of tables) {
            Object.assign(table, where.get(table.handle) ?? {});
            table.block = blockOfTable.get(table.handle) ?? null;
        }
        // Where each custom object goes: before the next entity of its owner that is written,
        // or at the end of its owner (model and paper space are one list in ENTITIES).
        const missing = new Set(customs.map((c) => c.handle));
        const entitiesList = [...(modelList ?? []), ...(paperList ?? [])];
        for (const custom of customs) {
            const place = where.get(custom.handle);
            if (!place) {
                continue;
            }
            Object.assign(custom, place);
            const list = place.inEntities ? entitiesList
                : owners.find(([owner]) => owner === place.owner)[1];
            const next = list.slice(list.indexOf(custom.handle) + 1).find((h) => !missing.has(h));
            custom.before = next ?? `END ${place.inEntities ? "ENTITIES" : place.owner}`;
        }
    } finally {
        libredwg.dwg_free(read.data);
    }
    return { layers, tables, customs, listed };
}

// The record of a custom object LibreDWG leaves out, written as the CAD writes an object whose
// application is missing: a proxy entity with the object's graphics.
function CustomRecord(custom, layerName, graphicsSizeCode) {
    return [
        ...EntityHead("ACAD_PROXY_ENTITY", custom, layerName),
        ...Group(100, "AcDbProxyEntity"), ...Group(90, 498), ...Group(91, custom.classNumber),
        ...GraphicsGroups(custom.graphics, graphicsSizeCode),
    ];
}

// Writes the custom objects LibreDWG left out where their owners list them; returns how many.
function InsertCustomObjects(lines, { customs }, graphicsSizeCode) {
    const placed = customs.filter((c) => c.graphics && c.before);
    if (placed.length === 0) {
        return 0;
    }
    const byPlace = new Map();
    for (const custom of placed) {
        if (!byPlace.has(custom.before)) byPlace.set(custom.before, []);
        byPlace.get(custom.before).push(custom);
    }
    const layerNames = NamesByHandle(lines, "LAYER", "5");
    const out = [];
    let written = 0;
    let section = "";
    let blockOwner = null;
    let inBlockRecord = false;
    const emit = (key) => {
        for (const custom of byPlace.get(key) ?? []) {
            out.push(...CustomRecord(custom, layerNames.get(custom.layer), graphicsSizeCode));
            ++written;
        }
        byPlace.delete(key);
    };
    for (let i = 0; i + 1 < lines.length; i += 2) {
        const code = lines[i].trim();
        const value = lines[i + 1].trim();
        if (code === "2" && lines[i - 2]?.trim() === "0" && lines[i - 1].trim() === "SECTION") {
            section = value;
        }
        if (code === "0") {
            inBlockRecord = value === "BLOCK";
            if (value === "ENDBLK" && blockOwner) emit(`END ${blockOwner}`);
            if (value === "ENDSEC" && section === "ENTITIES") emit("END ENTITIES");
            // The record's handle comes right after its type.
            if (lines[i + 2]?.trim() === "5") emit(lines[i + 3].trim().toUpperCase());
        }
        if (inBlockRecord && code === "330") blockOwner = value.toUpperCase();
        out.push(lines[i], lines[i + 1]);
    }
    ReplaceLines(lines, out);
    return written;
}

function DxfLines(bytes) {
    const text = Buffer.from(bytes.buffer, bytes.byteOffset, bytes.length).toString("latin1");
    const eol = text.includes("\r\n") ? "\r\n" : "\n";
    return { lines: text.split(eol), eol };
}

function FixLayerVisibility(lines, layerStates) {
    if (!layerStates || layerStates.size === 0) {
        return;
    }
    // Group codes and values are ASCII lines; the layer table is rewritten line by line.
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
}

// The names (2) of the records of a type by the handle in `handleCode`, as the DXF spells them.
function NamesByHandle(lines, type, handleCode) {
    const names = new Map();
    let record = null;
    for (let i = 0; i + 1 < lines.length; i += 2) {
        const code = lines[i].trim();
        const value = lines[i + 1].trim();
        if (code === "0") record = value === type ? {} : null;
        else if (record && code === handleCode && !record.handle) record.handle = value.toUpperCase();
        else if (record && code === "2" && record.handle) names.set(record.handle, value);
    }
    return names;
}

// Puts `out` in the place of `lines`, element by element: a drawing has millions of lines, more
// than a spread into one call can take.
function ReplaceLines(lines, out) {
    lines.length = 0;
    for (const line of out) lines.push(line);
}

const Group = (code, value) => [String(code).padStart(3, " "), String(value)];

// The common groups of an entity written back: type, handle, owner, paper space, layer, colour.
function EntityHead(type, entity, layerName) {
    const out = [...Group(0, type), ...Group(5, entity.handle)];
    if (entity.owner) out.push(...Group(330, entity.owner));
    out.push(...Group(100, "AcDbEntity"));
    if (entity.paper && entity.inEntities) out.push(...Group(67, 1));
    out.push(...Group(8, layerName ?? "0"));
    if (entity.color !== null) out.push(...Group(62, entity.color));
    return out;
}

// Stored graphics: their size (92, or 160 from release 2013 on), then 310 lines of 127 bytes.
function GraphicsGroups(graphics, sizeCode) {
    const out = [...Group(sizeCode, graphics.length)];
    const hex = Buffer.from(graphics).toString("hex").toUpperCase();
    for (let k = 0; k < hex.length; k += 254) out.push(...Group(310, hex.slice(k, k + 254)));
    return out;
}

// The groups of a table LibreDWG left bare. Its layer is in the part of the entity LibreDWG does
// not read; the CAD draws a table's block on the table's layer (points on Defpoints aside), so the
// layer of the block's content stands in for it, else 0.
function TableRecord(table, blockName, layerName, graphicsSizeCode) {
    const graphics = table.graphics;
    const out = [...EntityHead("ACAD_TABLE", table, layerName),
                 ...GraphicsGroups(graphics, graphicsSizeCode)];
    const insertion = TableInsertion(graphics);
    out.push(...Group(100, "AcDbBlockReference"));
    if (blockName && insertion) {
        out.push(...Group(2, blockName));
        insertion.forEach((v, k) => out.push(...Group(10 + 10 * k, v)));
    }
    return out;
}

// Rewrites the bare ACAD_TABLE records; returns how many were rewritten and how many not.
function RestoreTables(lines, { tables, listed }, graphicsSizeCode) {
    if (tables.length === 0) {
        return { restored: 0, left: 0, unlayered: 0 };
    }
    const drawn = tables.filter((t) => t.graphics && t.graphics.length > 0 && t.after);
    const byPlace = new Map(drawn.map((t) => [`${t.inEntities ? "E" : "B"} ${t.after}`, t]));
    // A BLOCK record's owner is its block record.
    const blockNames = NamesByHandle(lines, "BLOCK", "330");
    // The layer of each block's content, by its block record.
    const blockLayers = new Map();
    let owner = null;
    let type = null;
    for (let i = 0; i + 1 < lines.length; i += 2) {
        const code = lines[i].trim();
        const value = lines[i + 1].trim();
        if (code === "0") {
            type = value;
            if (value === "BLOCK") owner = "";
            else if (value === "ENDBLK") owner = null;
        } else if (type === "BLOCK" && owner === "" && code === "330") {
            owner = value.toUpperCase();
        } else if (owner && type !== "BLOCK" && code === "8" && !blockLayers.has(owner) &&
                   value.toUpperCase() !== "DEFPOINTS") {
            blockLayers.set(owner, value);
        }
    }
    let section = "";
    let record = null;
    const out = [];
    let last = "";
    let restored = 0;
    let left = 0;
    let unlayered = 0;
    for (let i = 0; i + 1 < lines.length; i += 2) {
        const code = lines[i].trim();
        const value = lines[i + 1].trim();
        if (code === "2" && lines[i - 2]?.trim() === "0" && lines[i - 1].trim() === "SECTION") {
            section = value;
            if (section === "ENTITIES") last = "ENTITIES";
        }
        if (code === "0") record = value === "BLOCK" ? {} : null;
        if (record && code === "330") last = `BLOCK ${value.toUpperCase()}`;
        // Vertices, attributes and their ends are not in any list: they do not move the place.
        if (code === "5" && lines[i - 2]?.trim() === "0" && listed.has(value.toUpperCase())) {
            last = value.toUpperCase();
        }
        const bare = code === "0" && value === "ACAD_TABLE" && lines[i + 2]?.trim() === "0";
        if (!bare) {
            out.push(lines[i], lines[i + 1]);
            continue;
        }
        const place = `${section === "ENTITIES" ? "E" : "B"} ${last}`;
        const table = byPlace.get(place);
        if (!table) {
            ++left;
            out.push(lines[i], lines[i + 1]);
            continue;
        }
        byPlace.delete(place);
        out.push(...TableRecord(table, blockNames.get(table.block), blockLayers.get(table.block),
                                graphicsSizeCode));
        if (!blockLayers.has(table.block)) ++unlayered;
        last = table.handle;
        ++restored;
    }
    ReplaceLines(lines, out);
    return { restored, left, unlayered };
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
let facts = null;
if (fromR13) {
    try {
        facts = ReadDrawingFacts(libredwg, kIn);
    } catch (error) {
        process.stderr.write(`kw-dwg2dxf: layer states and tables not read: ${error.message ?? error}\n`);
    }
}
const { lines, eol } = DxfLines(dxf);
dxf = null;
if (facts) {
    FixLayerVisibility(lines, facts.layers);
    // Release 2013 and later give the graphics' size in group 160, earlier ones in 92.
    const { restored, left, unlayered } =
        RestoreTables(lines, facts, release >= "AC1027" ? 160 : 92);
    if (restored > 0) {
        process.stderr.write(`kw-dwg2dxf: ${restored} table(s) written from their stored graphics\n`);
    }
    if (unlayered > 0) {
        process.stderr.write(`kw-dwg2dxf: ${unlayered} table(s) without a block to take the layer ` +
            "from are put on layer 0\n");
    }
    const customs = InsertCustomObjects(lines, facts, release >= "AC1027" ? 160 : 92);
    if (customs > 0) {
        process.stderr.write(`kw-dwg2dxf: ${customs} object(s) of other applications written as ` +
            "proxy entities with their stored graphics\n");
    }
    if (left > 0) {
        process.stderr.write(`kw-dwg2dxf: ${left} table(s) without stored graphics are left empty\n`);
    }
}
try {
    fs.writeFileSync(output, Buffer.from(lines.join(eol), "latin1"));
} catch (error) {
    Exit(6, `cannot write ${output}: ${error.message}`);
}
process.exit(0);
