"""check_schema.py SCHEMA TABLE [SIGNED_SCHEMA SIGNED_TABLE]: the published
schema against the handler's verdicts (the end-to-end table's) on its files,
read as a portal developer's validator would: the rules the schema's
description states (size, UTF-8, unique names, the code page, Windows-1252
as in the test prefix), then the schema. Accepted must pass; refused must
fail, blaming the handler's member. Signed files: the envelope and header
fail where the handler refuses them, and every payload passes."""

import base64
import json
import sys

import jsonschema

from make_signed_files import OPENED


class Duplicate(ValueError):
    pass


def unique_members(pairs):
    names = [name for name, _ in pairs]
    for name in names:
        if names.count(name) > 1:
            raise Duplicate(name)
    return dict(pairs)


def refuse_constant(name):
    raise ValueError(name + " is not JSON")


def blamed(error, document):
    """The members one schema error is about."""
    value = error.validator_value
    if error.absolute_path:
        return {error.absolute_path[0]}
    if error.validator == "additionalProperties":
        return set(document) - set(error.schema["properties"])
    if error.validator == "required":
        return {name for name in value if name not in document}
    if error.validator == "anyOf":
        return {name for branch in value for name in branch.get("required", [])}
    return set(value.get("required", [])) if error.validator == "not" else set()


def verdict(data, validator):
    """None when accepted, else the set of members to blame (maybe empty)."""
    try:
        if len(data) > 65536:
            return set()
        document = json.loads(data.decode("utf-8").removeprefix("\ufeff"),
                              object_pairs_hook=unique_members,
                              parse_constant=refuse_constant)
    except Duplicate as duplicate:
        return {duplicate.args[0]}
    except ValueError:  # not UTF-8, not JSON
        return set()
    errors = list(validator.iter_errors(document))
    if errors:
        return set().union(*(blamed(error, document) for error in errors))
    for name, value in document.items():
        if isinstance(value, str) and name != "ca":
            try:
                if len(value.encode("cp1252")) > 1023:
                    return {name}
            except UnicodeEncodeError:
                return {name}
    return None


# The handler's refusals of an envelope's shape, and of its header's.
ENVELOPE_REFUSALS = {"SignatureMember", "WrongType", "Missing", "Duplicate"}
HEADER_REFUSALS = {"SignatureAlgorithm", "SignatureHeader"}


def check_signed(schema_path, table_path, connection):
    with open(schema_path, encoding="utf-8") as f:
        schema = json.load(f)
    envelope = jsonschema.Draft202012Validator(schema)
    header = jsonschema.Draft202012Validator(schema["$defs"]["protectedHeader"])
    unbase64url = lambda text: base64.urlsafe_b64decode(text + "=" * (-len(text) % 4))
    with open(table_path, encoding="utf-8") as table:
        rows = [row for row in map(json.loads, table) if row.get("schema", True)]
    failures = 0
    for row in rows:
        text = row["text"].removeprefix("corvane-console:")
        parts = (json.loads(text) if text.startswith("{")
                 else dict(zip(("protected", "payload", "signature"), text.split("."))))
        if "payload" not in parts:  # unsigned: a connection file, whatever the policy says
            fails = [False, False, verdict(text.encode(), connection) is not None]
        else:
            fails = [not envelope.is_valid(parts),
                     not header.is_valid(json.loads(unbase64url(parts["protected"]))),
                     verdict(unbase64url(parts["payload"]), connection) is not None]
        if fails != [row["verdict"] in ENVELOPE_REFUSALS, row["verdict"] in HEADER_REFUSALS, False]:
            print(f"FAIL {row['name']}: the handler says {row['verdict']}; the schemas fail "
                  f"envelope, header, payload: {fails}")
            failures += 1
    print(f"schemas and handler agree on {len(rows) - failures} of {len(rows)} signed files")
    return failures if rows else 1


def main(schema_path, table_path, signed_schema=None, signed_table=None):
    with open(schema_path, encoding="utf-8") as f:
        schema = json.load(f)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    with open(table_path, encoding="utf-8") as table:
        rows = [json.loads(line) for line in table if '"via": "rawlink"' not in line]
    failures = 0
    for row in rows:
        data = bytes.fromhex(row["hex"]) if "hex" in row else row["text"].encode("utf-8")
        got = verdict(data + b" " * row.get("pad", 0), validator)
        accepted = row["verdict"] in OPENED
        unnamed = got is not None and "member" in row and row["member"] not in got
        if accepted != (got is None) or unnamed:
            print(f"FAIL {row['name']}: the handler says {row['verdict']} {row.get('member', '')}, "
                  f"the schema {'accepts it' if got is None else 'blames ' + str(sorted(got))}")
            failures += 1
    print(f"schema and handler agree on {len(rows) - failures} of {len(rows)} files (links aside)")
    if signed_table:
        failures += check_signed(signed_schema, signed_table, validator)
    return 1 if failures or not rows else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
