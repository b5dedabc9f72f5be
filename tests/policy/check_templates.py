"""check_templates.py POLICY_H TEMPLATES: the administrative templates against
the key and value names the handler reads (policy.h), and every string and
presentation the .admx uses in each language's .adml."""

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
    policies = {p.get("name"): p for p in admx.iterfind(".//p:policy", NS)}
    failures = [f"no policy {names[n]}" for n in ("kTrustedPublishers", "kAllowedHosts",
                                                   "kUnverifiedFiles") if names[n] not in policies]
    failures += [f"{name}: key {p.get('key')}" for name, p in policies.items() if p.get("key") != key]
    for name in (names["kTrustedPublishers"], names["kAllowedHosts"]):
        lists = [(e.get("key"), e.get("valuePrefix"), e.get("explicitValue"))
                 for e in policies[name].iterfind(".//p:list", NS)]
        if lists != [(key + "\\" + name, "", None)]:
            failures.append(f"{name}: not a list of values 1, 2, ... in its subkey")
    unverified = policies[names["kUnverifiedFiles"]]
    values = sorted(int(v.get("value")) for v in unverified.iterfind(".//p:item/p:value/p:decimal", NS))
    if [e.get("valueName") for e in unverified.iterfind(".//p:enum", NS)] != [names["kUnverifiedFiles"]] \
            or values != [0, 1, 2]:
        failures.append("UnverifiedFiles: not a DWORD of 0, 1 or 2")
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
        failures += [f"{language}: presentation {p} does not show {sorted(elements.get(p, []))}"
                     for p in sorted(presentations) if shown.get(p) != elements.get(p)]
    for failure in failures:
        print("FAIL", failure)
    print(f"templates checked: {len(policies)} policies, {len(strings)} strings, "
          f"languages {', '.join(languages)}")
    return 1 if failures or languages != ["en-US", "zh-CN", "zh-TW"] else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
