"""check_templates.py POLICY_H TEMPLATES: the administrative templates against
what the handler reads (policy.h's key and value names): each policy's key,
its list's subkey with values named 1, 2, ... (valuePrefix ""), the DWORD
with 0, 1 and 2; and every string and presentation the .admx uses, with each
presentation's controls, in every language's .adml."""

import os
import re
import sys
import xml.etree.ElementTree as ET

NS = {"p": "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"}


def constants(header):
    with open(header, encoding="utf-8") as f:
        found = dict(re.findall(r'constexpr wchar_t (k\w+)\[\] = L"([^"]*)";', f.read()))
    return {name: value.replace("\\\\", "\\") for name, value in found.items()}


def main(header, templates):
    names = constants(header)
    key = names["kPolicyKey"]
    admx = ET.parse(os.path.join(templates, "corvane.admx")).getroot()
    failures = []
    policies = {p.get("name"): p for p in admx.iterfind(".//p:policy", NS)}
    for name in ("kTrustedPublishers", "kAllowedHosts", "kUnverifiedFiles"):
        policy = policies.get(names[name])
        if policy is None:
            failures.append(f"no policy named {names[name]}")
            continue
        if policy.get("key") != key:
            failures.append(f"{names[name]}: key {policy.get('key')}, not {key}")
        lists = policy.findall(".//p:list", NS)
        enums = policy.findall(".//p:enum", NS)
        if name != "kUnverifiedFiles":
            ok = (len(lists) == 1 and lists[0].get("key") == key + "\\" + names[name]
                  and lists[0].get("valuePrefix") == "" and lists[0].get("explicitValue") is None)
            failures += [] if ok else [f"{names[name]}: not a list of values 1, 2, ... in its subkey"]
            continue
        values = sorted(int(v.get("value")) for v in policy.iterfind(".//p:item/p:value/p:decimal", NS))
        if len(enums) != 1 or enums[0].get("valueName") != names[name] or values != [0, 1, 2]:
            failures.append(f"{names[name]}: not a DWORD {names[name]} of 0, 1 or 2")
    text = ET.tostring(admx, encoding="unicode")
    strings = set(re.findall(r"\$\(string\.(\w+)\)", text))
    presentations = set(re.findall(r"\$\(presentation\.(\w+)\)", text))
    elements = {p.get("name"): {e.get("id") for e in p.iterfind("p:elements/*", NS)}
                for p in policies.values()}
    languages = sorted(d for d in os.listdir(templates) if os.path.isdir(os.path.join(templates, d)))
    for language in languages:
        adml = ET.parse(os.path.join(templates, language, "corvane.adml")).getroot()
        have = {s.get("id") for s in adml.iterfind(".//p:string", NS) if (s.text or "").strip()}
        shown = {p.get("id"): {c.get("refId") for c in p} for p in adml.iterfind(".//p:presentation", NS)}
        failures += [f"{language}: no string {s}" for s in sorted(strings - have)]
        failures += [f"{language}: no presentation {p}" for p in sorted(presentations - set(shown))]
        failures += [f"{language}: presentation {p} does not show {sorted(elements[p])}"
                     for p in sorted(presentations & set(shown)) if shown[p] != elements.get(p)]
    for failure in failures:
        print("FAIL", failure)
    print(f"templates checked: {len(policies)} policies, {len(strings)} strings, "
          f"languages {', '.join(languages)}")
    return 1 if failures or languages != ["en-US", "zh-CN"] else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
