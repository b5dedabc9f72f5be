"""The published JSON Schema against the handler's table of connection files.

    check_schema.py SCHEMA TABLE

Each file of the table is read as a portal developer's validator would read
it: the rules the schema's description states beside it (size, UTF-8,
unique member names, the ANSI code page, here Windows-1252 as on the test
prefix), then the schema, with the jsonschema package. A file the table
says the handler accepts must pass; one it refuses must fail, and where the
handler names a member, the schema's errors must name it too. The handler's
own verdicts on the same files are the end-to-end table's.
"""

import json
import sys

import jsonschema

MAX_BYTES = 65536
MAX_TEXT_BYTES = 1023


class Duplicate(ValueError):
    def __init__(self, name):
        super().__init__(name)
        self.name = name


def unique_members(pairs):
    names = set()
    for name, _ in pairs:
        if name in names:
            raise Duplicate(name)
        names.add(name)
    return dict(pairs)


def refuse_constant(name):
    raise ValueError("not JSON: " + name)


def blamed(error, document):
    """The members one schema error is about."""
    if error.absolute_path:
        return {error.absolute_path[0]}
    value = error.validator_value
    if error.validator == "additionalProperties":
        return set(document) - set(error.schema["properties"])
    if error.validator == "required":
        return {name for name in value if name not in document}
    if error.validator == "anyOf":
        return {name for branch in value for name in branch.get("required", [])}
    if error.validator == "not":
        return set(value.get("required", []))
    return set()


def verdict(data, validator):
    """None when accepted, else the set of members to blame (maybe empty)."""
    if len(data) > MAX_BYTES:
        return set()
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError:
        return set()
    try:
        document = json.loads(text.removeprefix("\ufeff"), object_pairs_hook=unique_members,
                              parse_constant=refuse_constant)
    except Duplicate as duplicate:
        return {duplicate.name}
    except ValueError:
        return set()
    errors = list(validator.iter_errors(document))
    if errors:
        return set().union(*(blamed(error, document) for error in errors))
    for name, value in document.items():
        if isinstance(value, str) and name != "ca":
            try:
                if len(value.encode("cp1252")) > MAX_TEXT_BYTES:
                    return {name}
            except UnicodeEncodeError:
                return {name}
    return None


def file_bytes(row):
    data = bytes.fromhex(row["hex"]) if "hex" in row else row["text"].encode("utf-8")
    return data + b" " * row.get("pad", 0)


def main(schema_path, table_path):
    with open(schema_path, encoding="utf-8") as f:
        schema = json.load(f)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    failures = checked = 0
    with open(table_path, encoding="utf-8") as table:
        for line in table:
            row = json.loads(line)
            if row["via"] == "rawlink":
                continue  # a damaged link holds no file to validate
            checked += 1
            got = verdict(file_bytes(row), validator)
            accepted = row["verdict"] == "accepted"
            if accepted and got is not None:
                print(f"FAIL {row['name']}: the handler accepts it, the schema blames {sorted(got)}")
                failures += 1
            elif not accepted and got is None:
                print(f"FAIL {row['name']}: the handler refuses it ({row['verdict']}), the schema accepts it")
                failures += 1
            elif not accepted and "member" in row and row["member"] not in got:
                print(f"FAIL {row['name']}: the handler blames \"{row['member']}\", the schema {sorted(got)}")
                failures += 1
    print(f"schema and handler agree on {checked - failures} of {checked} files")
    return 1 if failures or checked == 0 else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
