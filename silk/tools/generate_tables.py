#!/usr/bin/env python3
"""Writes SilkTables.h and SilkTables.cpp from the codec's table file (tables.json).

Usage: generate_tables.py <tables.json> <output folder>

Every table keeps its name without the "SKP_Silk_" prefix, its element type and its
dimensions; pointer tables and codebook records point into the arrays they name.
The generated files are checked in; run this again only when the table file changes.
"""
import json
import sys
from pathlib import Path

PREFIX = "SKP_Silk_"
C_TYPES = {"int16": "int16_t", "int32": "int32_t", "uint16": "uint16_t"}
STRUCTS = {
    "struct SKP_Silk_NLSF_CBS": "NlsfStage",
    "struct SKP_Silk_NLSF_CB_struct": "NlsfCodebook",
}


def short(name):
    return name[len(PREFIX):] if name.startswith(PREFIX) else name


def dims_text(dims):
    return "".join(f"[{d}]" for d in dims)


def flat(values):
    if isinstance(values, list):
        for v in values:
            yield from flat(v)
    else:
        yield values


def values_text(values, indent="  "):
    if isinstance(values, list) and values and isinstance(values[0], list):
        inner = (",\n" + indent).join(values_text(v, indent + "  ") for v in values)
        return "{\n" + indent + inner + "}"
    items = [str(v) for v in flat(values)]
    lines = [", ".join(items[i:i + 12]) for i in range(0, len(items), 12)]
    return "{" + (",\n" + indent).join(lines) + "}"


class Generator:
    def __init__(self, data):
        self.tables = data["tables"]
        self.order = data["table_order"]
        self.defines = data["defines"]
        self.derived = data["derived"]

    def element_type(self, name):
        table = self.tables[name]
        if table["element_type"] == "pointer":
            return "const " + self.element_type(table["refs"][0]["ref"]) + "*"
        return STRUCTS.get(table["element_type"]) or C_TYPES[table["element_type"]]

    def address(self, ref):
        target = self.tables[ref["ref"]]
        index = ref.get("index", 0)
        if isinstance(index, list):
            index = index[0] * (target["dims"][1] if len(target["dims"]) > 1 else 1) + index[1]
        name = short(ref["ref"])
        if len(target["dims"]) > 1:
            return f"&{name}{'[0]' * len(target['dims'])} + {index}"
        return f"&{name}[{index}]" if target["dims"] else f"&{name}"

    def declaration(self, name):
        table = self.tables[name]
        pointer = table["element_type"] == "pointer"
        element = self.element_type(name) + (" const" if pointer else "")
        return f"extern {element if pointer else 'const ' + element} {short(name)}{dims_text(table['dims'])}"

    def definition(self, name):
        table = self.tables[name]
        head = self.declaration(name)[len("extern "):]
        if "values" in table:
            if not table["dims"]:
                return f"{head} = {table['values']};"
            return f"{head} = {values_text(table['values'])};"
        if "refs" in table:
            return f"{head} = {{{', '.join(self.address(r) for r in table['refs'])}}};"
        records = [self.record(r) for r in table["records"]]
        if not table["dims"]:
            return f"{head} = {records[0]};"
        return f"{head} = {{\n  " + ",\n  ".join(records) + "};"

    def record(self, record):
        fields = []
        for value in record.values():
            if isinstance(value, dict):
                target = self.tables[value["ref"]]
                if target["element_type"] == "pointer" or target["element_type"].startswith("struct"):
                    fields.append(short(value["ref"]))
                else:
                    fields.append(self.address(value))
            else:
                fields.append(str(value))
        return "{" + ", ".join(fields) + "}"

    def header(self):
        out = [BANNER, "#pragma once", "", "#include <stdint.h>", "", "namespace silk {", ""]
        out.append("// Integer constants of the codec.")
        out += [f"constexpr int {k} = {v};" for k, v in self.defines.items()]
        out.append("")
        out.append("// Gain quantiser constants derived from MIN_QGAIN_DB, MAX_QGAIN_DB and N_LEVELS_QGAIN.")
        out += [f"constexpr int {k} = {v};" for k, v in self.derived.items() if not k.startswith("_")]
        out += ["", STRUCT_TEXT, ""]
        for name in self.order:
            note = self.tables[name].get("note")
            if note:
                out.append(f"// {note}")
            out.append(self.declaration(name) + ";")
        out += ["", "}  // namespace silk", ""]
        return "\n".join(out)

    def source(self):
        out = [BANNER, '#include "SilkTables.h"', "", "namespace silk {", ""]
        # Records and pointer tables refer to arrays defined before them.
        ordered = [n for n in self.order if "values" in self.tables[n]]
        ordered += [n for n in self.order if "refs" in self.tables[n]]
        ordered += [n for n in self.order if "records" in self.tables[n] and self.tables[n]["dims"]]
        ordered += [n for n in self.order if "records" in self.tables[n] and not self.tables[n]["dims"]]
        for name in ordered:
            out.append(self.definition(name))
            out.append("")
        out += ["}  // namespace silk", ""]
        return "\n".join(out)


BANNER = """// Generated by silk/tools/generate_tables.py from the codec's table file; do not edit.
// The tables are Skype Limited's (c) 2006-2012, under the licence notice in
// silk/LICENSE-SILK-TABLES.txt, which travels with them."""

STRUCT_TEXT = """// One stage of a multi-stage NLSF vector quantiser.
struct NlsfStage {
  int32_t nVectors;
  const int16_t* CB_NLSF_Q15;  // nVectors rows of LPC-order entries
  const int16_t* Rates_Q5;     // bits of each vector, Q5
};

// A multi-stage NLSF codebook: its stages, minimum spacings and stage CDFs.
struct NlsfCodebook {
  int32_t nStages;
  const NlsfStage* CBStages;
  const int32_t* NDeltaMin_Q15;         // order + 1 entries
  const uint16_t* CDF;                  // all stage CDFs, back to back
  const uint16_t* const* StartPtr;      // each stage's CDF inside CDF
  const int32_t* MiddleIx;              // each stage's decoder search start
};"""


def main():
    data = json.loads(Path(sys.argv[1]).read_text())
    folder = Path(sys.argv[2])
    generator = Generator(data)
    (folder / "SilkTables.h").write_text(generator.header())
    (folder / "SilkTables.cpp").write_text(generator.source())


if __name__ == "__main__":
    main()
