#!/usr/bin/env python3
"""Checks talvern --json output against docs/events.schema.json.

usage: validate_events.py SCHEMA EVENTS...   (each EVENTS file: one JSON object per line)
Prints every line that does not validate, with its file and line number;
exits 1 when there is one, 2 when the validator cannot run."""
import json
import sys

try:
    import jsonschema
except ImportError:
    sys.exit("validate_events.py: python3-jsonschema is not installed")


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    with open(sys.argv[1]) as f:
        schema = json.load(f)
    validator_class = jsonschema.validators.validator_for(schema)
    validator_class.check_schema(schema)
    validator = validator_class(schema)
    # An event of a known kind is also checked against its own definition
    # alone, which names the field at fault.
    kinds = {}
    for name in schema.get("$defs", {}):
        alone = {key: value for key, value in schema.items() if key != "oneOf"}
        alone["$ref"] = "#/$defs/" + name
        kinds[name] = validator_class(alone)
    bad = 0
    lines = 0
    for path in sys.argv[2:]:
        with open(path) as f:
            for number, line in enumerate(f, 1):
                lines += 1
                try:
                    event = json.loads(line)
                except json.JSONDecodeError as e:
                    print(f"{path}:{number}: not JSON ({e}): {line.rstrip()}")
                    bad += 1
                    continue
                kind = event.get("event") if isinstance(event, dict) else None
                if validator.is_valid(event):
                    continue
                bad += 1
                errors = list(kinds[kind].iter_errors(event)) if kind in kinds else []
                if not errors:
                    errors = list(validator.iter_errors(event))
                for error in errors:
                    where = "/".join(str(p) for p in error.absolute_path)
                    print(f"{path}:{number}: {where or 'event'}: {error.message}: {line.rstrip()}")
    if lines == 0:
        sys.exit("validate_events.py: no events to check")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
