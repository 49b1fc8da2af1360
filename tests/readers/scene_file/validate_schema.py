"""Checks the scene schema both ways: every given scene file must pass, and
documents the scene reader refuses (where a schema can tell) must fail.

Usage: validate_schema.py SCHEMA SCENE...
"""
import json
import sys

import jsonschema

TIME = {"start": 0, "end": 10, "ticksPerFrame": 1}


def node(**members):
    return {"id": 1, "name": "n", "type": 5, **members}


def scene(**members):
    return {"version": 1, "time": TIME, **members}


MUST_FAIL = {
    "unknown top-level member": scene(node=[]),
    "ticksPerFrame 0": {"version": 1, "time": {**TIME, "ticksPerFrame": 0}},
    "version 2": {"version": 2, "time": TIME},
    "missing time": {"version": 1},
    "node without name": scene(nodes=[{"id": 1, "type": 5}]),
    "float id": scene(nodes=[node(id=1.5)]),
    "mesh on a helper": scene(nodes=[node(mesh={})]),
    "matrix and keys": scene(nodes=[node(transform={
        "matrix": [[1, 0, 0], [0, 1, 0], [0, 0, 1], [0, 0, 0]], "position": []})]),
    "rotation key with quat and euler": scene(nodes=[node(transform={
        "rotation": [{"tick": 0, "quat": [0, 0, 0, 1], "euler": [0, 0, 0]}]})]),
    "rotation key with neither": scene(nodes=[node(transform={"rotation": [{"tick": 0}]})]),
    "zero quaternion": scene(nodes=[node(transform={
        "rotation": [{"tick": 0, "quat": [0, 0, 0, 0]}]})]),
    "negative vertex index": scene(nodes=[node(type=2, mesh={
        "faces": [{"vertex": [0, -1, 2], "texVertex": [0, 0, 0]}]})]),
    "misspelt face member": scene(nodes=[node(type=2, mesh={
        "faces": [{"vertex": [0, 1, 2], "texVertex": [0, 0, 0], "smoothinGroup": 1}]})]),
    "number beyond single precision": scene(nodes=[node(type=2, mesh={"vertices": [[0, 1e39, 0]]})]),
    "material without class": scene(materials=[{"key": "m"}]),
    "256 render normals": scene(nodes=[node(type=2, mesh={
        "vertices": [[0, 0, 0]],
        "renderVertices": [[{"normal": [0, 0, 1], "smoothingGroup": 1}] * 256]})]),
}


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        schema = json.load(f)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    failures = 0
    for path in sys.argv[2:]:
        with open(path, encoding="utf-8") as f:
            document = json.load(f)
        for error in validator.iter_errors(document):
            print(f"{path}: at {error.json_path}: {error.message[:300]}")
            failures += 1
    for name, document in MUST_FAIL.items():
        if validator.is_valid(document):
            print(f"schema accepts a document the reader refuses: {name}")
            failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
