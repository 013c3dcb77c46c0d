#!/usr/bin/env python3
"""Checks the Group Policy templates against the policy the code reads.

    check_policy_templates.py POLICY_NAMES_JSON ADMX ADML

POLICY_NAMES_JSON is the program that writes, from sitelock/policy_names.h,
the key and the values the code reads.
Both templates must be well-formed XML; every policy must be a machine
policy under the code's key; the values the templates write (name and
registry type) must be exactly the code's, each once; every string and
presentation the ADMX names must be in the ADML, and every presentation
must show its policy's elements. Exits 1 and names each problem otherwise.
"""
import json
import re
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

NS = {"p": "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"}
# The registry type an element writes.
ELEMENT_TYPES = {"multiText": "REG_MULTI_SZ", "decimal": "REG_DWORD", "enum": "REG_DWORD", "boolean": "REG_DWORD",
                 "longDecimal": "REG_QWORD", "list": "(numbered values)"}
PRESENTATION_OF = {"multiText": "multiTextBox", "decimal": "decimalTextBox", "enum": "dropdownList",
                   "boolean": "checkBox", "text": "textBox", "longDecimal": "longDecimalTextBox", "list": "listBox"}

problems = []


def problem(text):
    problems.append(text)


def local(tag):
    return tag.split("}")[-1]


def element_type(element):
    kind = local(element.tag)
    if kind == "text":
        return "REG_EXPAND_SZ" if element.get("expandable") == "true" else "REG_SZ"
    if kind == "decimal" and element.get("storeAsText") == "true":
        return "REG_SZ"
    if kind == "enum":
        kinds = {local(value.tag) for value in element.iterfind("p:item/p:value/*", NS)}
        return "REG_DWORD" if kinds == {"decimal"} else "REG_SZ" if kinds == {"string"} else f"mixed {kinds}"
    return ELEMENT_TYPES.get(kind, f"unknown element {kind}")


def references(text, kind):
    match = re.fullmatch(rf"\$\({kind}\.([A-Za-z0-9_]+)\)", text or "")
    return match.group(1) if match else None


def main(names_program, admx_path, adml_path):
    try:
        names = json.loads(subprocess.run([names_program], check=True, capture_output=True, text=True).stdout)
        admx = ElementTree.parse(admx_path).getroot()
        adml = ElementTree.parse(adml_path).getroot()
    except (OSError, ValueError, subprocess.CalledProcessError, ElementTree.ParseError) as error:
        print(f"FAIL cannot read the templates: {error}")
        return 1

    strings = {s.get("id") for s in adml.iterfind("p:resources/p:stringTable/p:string", NS)}
    presentations = {p.get("id"): p for p in adml.iterfind("p:resources/p:presentationTable/p:presentation", NS)}
    for node in admx.iter():
        for attribute, text in node.attrib.items():
            name = references(text, "string")
            if name and name not in strings:
                problem(f"{local(node.tag)} {attribute}: no string {name} in the ADML")

    written = {}
    for policy in admx.iterfind("p:policies/p:policy", NS):
        name = policy.get("name")
        if policy.get("class") != "Machine":
            problem(f"policy {name}: class {policy.get('class')}, not Machine (the control reads HKLM)")
        elements = list(policy.iterfind("p:elements/*", NS))
        if policy.get("valueName"):
            elements.append(policy)
        shown = presentations.get(references(policy.get("presentation"), "presentation"))
        if elements and shown is None:
            problem(f"policy {name}: no presentation {policy.get('presentation')} in the ADML")
        for element in elements:
            key = element.get("key") or policy.get("key")
            if key != names["key"]:
                problem(f"policy {name}: key {key}, not the code's {names['key']}")
            value = element.get("valueName")
            kind = "REG_DWORD" if element is policy else element_type(element)
            if value in written:
                problem(f"value {value} written by two policies")
            written[value] = kind
            if element is not policy and shown is not None:
                refs = {child.get("refId"): local(child.tag) for child in shown.iter() if child.get("refId")}
                wanted = PRESENTATION_OF.get(local(element.tag))
                if refs.get(element.get("id")) != wanted:
                    problem(f"policy {name}: presentation shows element {element.get('id')} as "
                            f"{refs.get(element.get('id'))}, not {wanted}")

    read = {value["name"]: value["type"] for value in names["values"]}
    for value, kind in read.items():
        if value not in written:
            problem(f"the code reads {value} ({kind}); no template writes it")
        elif written[value] != kind:
            problem(f"{value}: the template writes {written[value]}, the code reads {kind}")
    for value in written.keys() - read.keys():
        problem(f"the template writes {value}, which the code does not read")

    for line in problems:
        print(f"FAIL {line}")
    if not problems:
        print(f"the templates write exactly the {len(read)} values the code reads: " + ", ".join(sorted(read)))
    return 1 if problems else 0


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
