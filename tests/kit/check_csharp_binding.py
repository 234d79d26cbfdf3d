#!/usr/bin/env python3
"""Checks the C# binding against the C header and the built DLL.

No .NET runtime for Windows runs here, so the P/Invoke declarations cannot be
called; this compares them mechanically instead:
  - every DllImport names the library "kova_client" and the C calling
    convention, and its entry point is an export of kova_client.dll;
  - the DllImports and the header's functions are the same set;
  - each argument and the result have the same size on the DLL's
    architecture as in the header's prototype, an argument passes an address
    where the header takes a pointer and a number where it takes one, what
    an address points to (a ref or out argument's type, an array's element)
    has the size of the header's pointed-to type, and every argument is
    blittable;
  - the connection struct is KOVA_CLIENT_SIZE bytes, and the result enum and
    the constants have the header's numbers.

  check_csharp_binding.py --cs KovaClient.cs --header kova_client.h
                          --dll kova_client.dll --objdump OBJDUMP --pointer-size 4|8
                          [--self-test]

With --self-test it checks the binding and then copies of it with a mismatch
planted in each (a 4-byte out argument for a size_t*, a struct by value for a
pointer, ...): each must be reported where it is one.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile

POINTER = "pointer"

C_SIZES = {"char": 1, "int": 4, "unsigned int": 4, "unsigned": 4, "uint32_t": 4, "int32_t": 4,
           "uint64_t": 8, "int64_t": 8, "size_t": POINTER, "KovaClientResult": 4}
CS_SIZES = {"int": 4, "uint": 4, "long": 8, "ulong": 8, "short": 2, "ushort": 2, "byte": 1,
            "sbyte": 1, "IntPtr": POINTER, "UIntPtr": POINTER}


def c_type_size(text, where):
    text = " ".join(text.replace("const", " ").split())
    if "*" in text:
        return POINTER
    if text == "void":
        return 0
    if text not in C_SIZES:
        raise SystemExit(f"{where}: no size known for the C type '{text}'")
    return C_SIZES[text]


def c_pointee_size(text, structs):
    """The size of what a C pointer type points to; None when unknown (void)."""
    text = " ".join(text.replace("const", " ").split())
    pointee = text[:text.rindex("*")].strip()
    if "*" in pointee:
        return POINTER
    return structs.get(pointee, C_SIZES.get(pointee))


def strip_c_comments(text):
    return re.sub(r"/\*.*?\*/|//[^\n]*", " ", text, flags=re.S)


def read_header(path):
    text = strip_c_comments(open(path, encoding="utf-8").read())
    defines = dict(re.findall(r"^\s*#\s*define\s+(\w+)\s+(\d+)u?\s*$", text, flags=re.M))
    enum = re.search(r"typedef\s+enum\s+KovaClientResult\s*\{(.*?)\}", text, flags=re.S)
    results = {name: int(value) for name, value in
               re.findall(r"(KOVA_CLIENT_\w+)\s*=\s*(\d+)", enum.group(1))} if enum else {}
    # The connection struct is KOVA_CLIENT_SIZE bytes on every architecture.
    structs = {"KovaClient": int(defines.get("KOVA_CLIENT_SIZE", 0))}
    code = re.sub(r"^\s*#[^\n]*", " ", text, flags=re.M)
    code = " ".join(code.split())
    functions = {}
    for result, name, params in re.findall(
            r"KOVA_CLIENT_API\s+([\w\s*]+?)\s+KOVA_CLIENT_CALL\s+(\w+)\s*\(([^)]*)\)\s*;", code):
        sizes = []
        if params.strip() != "void":
            for param in params.split(","):
                # The last word is the parameter's name, unless the type ends in '*'.
                words = param.replace("*", " * ").split()
                type_words = words[:-1] if words[-1] != "*" else words
                kind = "pointer" if "*" in type_words else "value"
                pointee = c_pointee_size(" ".join(type_words), structs) if kind == "pointer" else None
                sizes.append((c_type_size(" ".join(type_words), f"{name}({param.strip()})"), kind,
                              pointee))
        functions[name] = (c_type_size(result, name), sizes)
    return defines, results, functions


def read_exports(objdump, dll):
    output = subprocess.run([objdump, "-p", dll], check=True, capture_output=True,
                            text=True).stdout
    table = output.split("[Ordinal/Name Pointer] Table", 1)
    if len(table) < 2:
        return set()
    exports = set()
    for line in table[1].splitlines()[1:]:
        match = re.match(r"\s*\[\s*\d+\]\s+(\S+)\s*$", line)
        if not match:
            break
        exports.add(match.group(1))
    return exports


def cs_type_kind(text):
    """'pointer' for what passes an address, 'value' for a number, 'any' for
    IntPtr (a pointer or a pointer-sized number)."""
    words = text.split()
    if words[0] in ("ref", "out", "in") or words[-1].endswith("[]"):
        return "pointer"
    return "any" if words[-1] == "IntPtr" else "value"


def cs_type_size(text, enums, structs, where, problems):
    words = text.split()
    if words[0] in ("ref", "out", "in"):
        return POINTER
    base = words[-1]
    if base.endswith("[]"):
        element = base[:-2]
        if element not in CS_SIZES:
            problems.append(f"{where}: '{base}' is not an array of a blittable type")
        return POINTER
    if base == "void":
        return 0
    if base in enums:
        return 4
    if base in structs:
        return structs[base]
    if base not in CS_SIZES:
        problems.append(f"{where}: '{base}' is not blittable (marshalled by conversion)")
        return None
    return CS_SIZES[base]


def cs_pointee_size(text, enums, structs):
    """The size of what a ref, out or in argument or an array points to; None
    for a number or an IntPtr, or a type of unknown size."""
    words = text.split()
    if words[0] in ("ref", "out", "in"):
        base = words[-1]
    elif words[-1].endswith("[]"):
        base = words[-1][:-2]
    else:
        return None
    if base in enums:
        return 4
    return structs.get(base, CS_SIZES.get(base))


def read_binding(path, problems):
    text = re.sub(r"//[^\n]*", " ", open(path, encoding="utf-8").read())
    constants = dict(re.findall(r"const\s+\w+\s+(\w+)\s*=\s*(\"[^\"]*\"|\d+)\s*;", text))
    enums = {}
    for name, body in re.findall(r"enum\s+(\w+)\s*\{(.*?)\}", text, flags=re.S):
        enums[name] = {member: int(value) for member, value in
                       re.findall(r"(\w+)\s*=\s*(\d+)", body)}
    structs = {}
    for layout, name, body in re.findall(
            r"\[StructLayout\(([^)]*)\)\]\s*(?:public\s+|internal\s+)?struct\s+(\w+)\s*\{(.*?)\}",
            text, flags=re.S):
        fields = re.findall(r"(?:private|public|internal)\s+(\w+)\s+\w+\s*;", body)
        size = sum(CS_SIZES.get(field, 0) for field in fields)
        declared = re.search(r"Size\s*=\s*(\d+)", layout)
        structs[name] = max(size, int(declared.group(1))) if declared else size
    imports = {}
    for attribute, result, name, params in re.findall(
            r"\[DllImport\(([^\]]*)\)\]\s*(?:public\s+|internal\s+|private\s+)?static\s+extern\s+"
            r"([\w\[\]]+)\s+(\w+)\s*\(([^)]*)\)\s*;", text):
        library = attribute.split(",")[0].strip()
        library = constants.get(library, library).strip('"')
        if library != "kova_client":
            problems.append(f"{name}: imported from '{library}', not kova_client")
        if not re.search(r"CallingConvention\s*=\s*CallingConvention\.Cdecl", attribute):
            problems.append(f"{name}: no CallingConvention.Cdecl")
        entry = re.search(r"EntryPoint\s*=\s*\"(\w+)\"", attribute)
        entry = entry.group(1) if entry else name
        sizes = []
        for param in filter(None, (p.strip() for p in params.split(","))):
            param = re.sub(r"\[[A-Za-z][^\]]*\]", " ", param).split()
            type_text = " ".join(param[:-1])
            sizes.append((cs_type_size(type_text, enums, structs, f"{name}({' '.join(param)})",
                                       problems), cs_type_kind(type_text),
                          cs_pointee_size(type_text, enums, structs)))
        imports[entry] = (cs_type_size(result, enums, structs, name, problems), sizes)
    return constants, enums, structs, imports


def camel_case(name):
    return "".join(word.capitalize() for word in name[len("KOVA_CLIENT_"):].split("_"))


def find_problems(cs_path, header_path, exports, dll_name, pointer_size):
    """The mismatches between the binding and the header and DLL, and the
    number of DllImports."""
    problems = []
    defines, results, functions = read_header(header_path)
    constants, enums, structs, imports = read_binding(cs_path, problems)

    def size(value):
        return pointer_size if value == POINTER else value

    if not functions:
        problems.append(f"{header_path}: no KOVA_CLIENT_API functions found")
    for name in sorted(set(functions) - set(imports)):
        problems.append(f"{name}: in the header, but no DllImport")
    for name, (result, params) in sorted(imports.items()):
        if name not in exports:
            problems.append(f"{name}: not an export of {dll_name}")
        if name not in functions:
            problems.append(f"{name}: not a function of the header")
            continue
        c_result, c_params = functions[name]
        if size(result) != size(c_result):
            problems.append(f"{name}: returns {size(result)} bytes, the header {size(c_result)}")
        if len(params) != len(c_params):
            problems.append(f"{name}: {len(params)} arguments, the header {len(c_params)}")
            continue
        for index, ((mine, kind, points_to), (theirs, c_kind, c_points_to)) in enumerate(
                zip(params, c_params), 1):
            if mine is not None and size(mine) != size(theirs):
                problems.append(f"{name}: argument {index} is {size(mine)} bytes, "
                                f"the header's {size(theirs)}")
            if kind != "any" and kind != c_kind:
                problems.append(f"{name}: argument {index} passes a {kind}, the header a {c_kind}")
            elif kind == "pointer" and size(points_to) != size(c_points_to):
                problems.append(f"{name}: argument {index} points to {size(points_to)} bytes, "
                                f"the header's to {size(c_points_to)}")

    client_size = int(defines.get("KOVA_CLIENT_SIZE", 0))
    if structs.get("KovaClientStorage") != client_size:
        problems.append(f"KovaClientStorage: {structs.get('KovaClientStorage')} bytes, "
                        f"KOVA_CLIENT_SIZE {client_size}")
    want = {camel_case(name): value for name, value in results.items()}
    if enums.get("KovaClientResult") != want:
        problems.append(f"KovaClientResult: {enums.get('KovaClientResult')}, the header {want}")
    for mine, theirs in (("HeaderVersion", "KOVA_CLIENT_VERSION"),
                         ("MaxTextSize", "KOVA_CLIENT_MAX_TEXT_SIZE")):
        if constants.get(mine) != defines.get(theirs):
            problems.append(f"{mine}: {constants.get(mine)}, {theirs} {defines.get(theirs)}")
    return problems, len(imports)


# Mismatches planted in the binding for --self-test: the text replaced, its
# replacement, and the pointer sizes at which the mismatch is one.
PLANTED = [
    ("out UIntPtr sizeWithNul", "out uint sizeWithNul", (8,)),
    ("UIntPtr bufferSize", "uint bufferSize", (8,)),
    ("ref KovaClientStorage client", "KovaClientStorage client", (4, 8)),
    ("byte[] name,", "string name,", (4, 8)),
    ("extern int KovaClientIsConnected", "extern long KovaClientIsConnected", (4, 8)),
    ("NotConnected = 9", "NotConnected = 10", (4, 8)),
]


def self_test(args, exports):
    """The binding as it stands passes; each planted mismatch is reported."""
    failures = []
    problems, _ = find_problems(args.cs, args.header, exports, args.dll, args.pointer_size)
    if problems:
        failures.append(f"the binding as it stands: {problems}")
    text = open(args.cs, encoding="utf-8").read()
    with tempfile.TemporaryDirectory() as directory:
        for old, new, sizes in PLANTED:
            if old not in text:
                failures.append(f"'{old}' is not in {args.cs}")
                continue
            planted = os.path.join(directory, "planted.cs")
            with open(planted, "w", encoding="utf-8") as file:
                file.write(text.replace(old, new, 1))
            problems, _ = find_problems(planted, args.header, exports, args.dll,
                                        args.pointer_size)
            if bool(problems) != (args.pointer_size in sizes):
                failures.append(f"'{old}' made '{new}': {problems or 'not reported'}")
    for failure in failures:
        print(f"FAILED: {failure}")
    if failures:
        return 1
    print(f"the binding passes, and each of {len(PLANTED)} planted mismatches is reported "
          f"where it is one ({args.pointer_size * 8}-bit)")
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cs", required=True)
    parser.add_argument("--header", required=True)
    parser.add_argument("--dll", required=True)
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--pointer-size", type=int, choices=(4, 8), required=True)
    parser.add_argument("--self-test", action="store_true",
                        help="check the binding, then copies of it with mismatches planted")
    args = parser.parse_args()

    exports = read_exports(args.objdump, args.dll)
    if args.self_test:
        return self_test(args, exports)
    problems, imports = find_problems(args.cs, args.header, exports, args.dll, args.pointer_size)
    for problem in problems:
        print(problem)
    if problems:
        print(f"FAILED: {len(problems)} mismatches")
        return 1
    print(f"{imports} entry points match {args.dll} ({args.pointer_size * 8}-bit) "
          f"and {args.header}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
