# Prints what the font exporter's tests compare, read back from a binary
# font with fontTools: glyph order, character map, advances, charstring
# programs and ligatures, as JSON.
import json
import sys

from fontTools.ttLib import TTFont

font = TTFont(sys.argv[1])
order = font.getGlyphOrder()
top = font["CFF "].cff.topDictIndex[0]
charstrings = {}
for name in order:
    charstring = top.CharStrings[name]
    charstring.decompile()
    charstrings[name] = [str(token) for token in charstring.program]
ligatures = {}
if "GSUB" in font:
    table = font["GSUB"].table
    for record in table.FeatureList.FeatureRecord:
        for index in record.Feature.LookupListIndex:
            for subtable in table.LookupList.Lookup[index].SubTable:
                for first, entries in subtable.ligatures.items():
                    for entry in entries:
                        key = record.FeatureTag + ":" + " ".join([first] + entry.Component)
                        ligatures[key] = entry.LigGlyph
print(json.dumps({
    "flavor": font.flavor,
    "glyphOrder": order,
    "cmap": {str(code): name for code, name in font.getBestCmap().items()},
    "advances": {name: font["hmtx"][name][0] for name in order},
    "charstrings": charstrings,
    "ligatures": ligatures,
}))
