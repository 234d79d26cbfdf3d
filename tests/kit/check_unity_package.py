#!/usr/bin/env python3
"""Checks the Unity package folder (com.kova.client) for well-formedness.

No Unity editor runs here, so the files Unity reads are checked by hand:
  - package.json and the assembly definition parse as JSON and carry the
    fields Unity needs; the package's version is the client header's;
  - every file and folder of the package has its .meta file, and every .meta
    file its asset; each .meta is well-formed (indented key/values, no tabs,
    no repeated keys), names fileFormatVersion 2, a guid of 32 hexadecimal
    digits found nowhere else in the package, and the importer Unity uses for
    that kind of asset;
  - each DLL's import settings load it where it runs: the x86_64 DLL in the
    Windows Editor and the 64-bit Windows player, the x86 DLL in the 32-bit
    Windows player only; each excluded from everything else;
  - installed (--installed): the binding is the kit's KovaClient.cs, and each
    DLL asked for with --dll is a Windows DLL of its folder's machine.

  check_unity_package.py --package DIR --header kova_client.h
                         [--installed --binding KovaClient.cs [--dll x86_64] [--dll x86]]
"""
import argparse
import json
import os
import re
import struct
import sys

# Files the kit's build puts into the package (absent from the source tree).
INSTALLED = {"Runtime/KovaClient.cs", "Runtime/Plugins/x86_64/kova_client.dll",
             "Runtime/Plugins/x86/kova_client.dll"}
PE_MACHINES = {"x86_64": 0x8664, "x86": 0x14C}
IMPORTERS = {".cs": "MonoImporter", ".asmdef": "AssemblyDefinitionImporter",
             ".dll": "PluginImporter", ".json": "PackageManifestImporter"}

# What each DLL's platformData must say, by the first entry's key and value.
PLUGIN_PLATFORMS = {
    "x86_64": {
        ("", "Any"): {"enabled": "0", "settings": {
            "Exclude Editor": "0", "Exclude Win": "1", "Exclude Win64": "0",
            "Exclude Linux64": "1", "Exclude OSXUniversal": "1"}},
        ("Editor", "Editor"): {"enabled": "1", "settings": {"CPU": "x86_64", "OS": "Windows"}},
        ("Standalone", "Win"): {"enabled": "0"},
        ("Standalone", "Win64"): {"enabled": "1", "settings": {"CPU": "x86_64"}},
        ("Standalone", "Linux64"): {"enabled": "0"},
        ("Standalone", "OSXUniversal"): {"enabled": "0"},
    },
    "x86": {
        ("", "Any"): {"enabled": "0", "settings": {
            "Exclude Editor": "1", "Exclude Win": "0", "Exclude Win64": "1",
            "Exclude Linux64": "1", "Exclude OSXUniversal": "1"}},
        ("Editor", "Editor"): {"enabled": "0"},
        ("Standalone", "Win"): {"enabled": "1", "settings": {"CPU": "x86"}},
        ("Standalone", "Win64"): {"enabled": "0"},
        ("Standalone", "Linux64"): {"enabled": "0"},
        ("Standalone", "OSXUniversal"): {"enabled": "0"},
    },
}


class MetaError(Exception):
    pass


def parse_meta(text):
    """The subset of YAML that Unity's .meta files use: block mappings,
    block lists (also at their key's indent) and plain scalars."""
    if "\t" in text:
        raise MetaError("a tab character")
    lines = []
    for number, line in enumerate(text.splitlines(), 1):
        if line.strip() and not line.lstrip().startswith("#"):
            lines.append([len(line) - len(line.lstrip(" ")), line.strip(), number])
    if not lines:
        raise MetaError("empty")
    value, end = parse_block(lines, 0, lines[0][0])
    if end != len(lines):
        raise MetaError(f"line {lines[end][2]}: unexpected indentation")
    return value


def parse_block(lines, index, indent):
    if lines[index][1].startswith("- ") or lines[index][1] == "-":
        items = []
        while index < len(lines) and lines[index][0] == indent and lines[index][1][:1] == "-":
            lines[index] = [indent + 2, lines[index][1][2:].strip(), lines[index][2]]
            item, index = parse_block(lines, index, indent + 2)
            items.append(item)
        return items, index
    mapping = {}
    while index < len(lines) and lines[index][0] == indent and lines[index][1][:1] != "-":
        indent_, text, number = lines[index]
        key, colon, rest = text.partition(":")
        if not colon or (rest and not rest.startswith(" ")):
            raise MetaError(f"line {number}: not a 'key: value' line: {text!r}")
        if key in mapping:
            raise MetaError(f"line {number}: the key {key!r} twice")
        index += 1
        rest = rest.strip()
        if rest:
            mapping[key] = rest
        elif index < len(lines) and (lines[index][0] > indent or
                                     (lines[index][0] == indent and lines[index][1][:1] == "-")):
            mapping[key], index = parse_block(lines, index, lines[index][0])
        else:
            mapping[key] = ""
    if index < len(lines) and lines[index][0] > indent:
        raise MetaError(f"line {lines[index][2]}: unexpected indentation")
    return mapping, index


def check_plugin(meta, arch, where, problems):
    importer = meta.get("PluginImporter")
    if not isinstance(importer, dict) or not isinstance(importer.get("platformData"), list):
        problems.append(f"{where}: no PluginImporter platformData list")
        return
    platforms = {}
    for entry in importer["platformData"]:
        first = entry.get("first") if isinstance(entry, dict) else None
        second = entry.get("second") if isinstance(entry, dict) else None
        if not isinstance(first, dict) or len(first) != 1 or not isinstance(second, dict):
            problems.append(f"{where}: a platformData entry without first and second: {entry}")
            continue
        platforms[next(iter(first.items()))] = second
    for platform, want in PLUGIN_PLATFORMS[arch].items():
        got = platforms.get(platform)
        name = ": ".join(platform)
        if got is None:
            problems.append(f"{where}: no platformData for '{name}'")
            continue
        if got.get("enabled") != want["enabled"]:
            problems.append(f"{where}: '{name}' enabled {got.get('enabled')}, "
                            f"wanted {want['enabled']}")
        settings = got.get("settings")
        for key, value in want.get("settings", {}).items():
            have = settings.get(key) if isinstance(settings, dict) else None
            if have != value:
                problems.append(f"{where}: '{name}' {key} is {have}, wanted {value}")


def pe_machine(path):
    with open(path, "rb") as file:
        data = file.read(4096)
    if data[:2] != b"MZ" or len(data) < 64:
        return None
    offset = struct.unpack_from("<I", data, 60)[0]
    if offset + 6 > len(data) or data[offset:offset + 4] != b"PE\0\0":
        return None
    return struct.unpack_from("<H", data, offset + 4)[0]


def read_json(path, problems):
    try:
        with open(path, encoding="utf-8") as file:
            return json.load(file)
    except (OSError, ValueError) as error:
        problems.append(f"{path}: {error}")
        return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--package", required=True)
    parser.add_argument("--header", required=True)
    parser.add_argument("--installed", action="store_true")
    parser.add_argument("--binding")
    parser.add_argument("--dll", action="append", default=[], choices=sorted(PE_MACHINES))
    args = parser.parse_args()
    root = args.package
    problems = []

    header = open(args.header, encoding="utf-8").read()
    version = ".".join(re.search(rf"#define KOVA_CLIENT_VERSION_{part} (\d+)", header).group(1)
                       for part in ("MAJOR", "MINOR", "PATCH"))

    manifest = read_json(os.path.join(root, "package.json"), problems)
    if isinstance(manifest, dict):
        if not re.fullmatch(r"com(\.[a-z0-9][a-z0-9-]*)+", str(manifest.get("name"))):
            problems.append(f"package.json: the name {manifest.get('name')!r} is not a package name")
        if manifest.get("version") != version:
            problems.append(f"package.json: version {manifest.get('version')!r}, "
                            f"the header's {version}")
        if not re.fullmatch(r"20\d\d\.\d", str(manifest.get("unity"))):
            problems.append(f"package.json: unity {manifest.get('unity')!r} is not a release")
        if not manifest.get("displayName"):
            problems.append("package.json: no displayName")
    elif manifest is not None:
        problems.append("package.json: not an object")
    assembly = read_json(os.path.join(root, "Runtime", "Kova.Client.asmdef"), problems)
    if isinstance(assembly, dict):
        if assembly.get("name") != "Kova.Client":
            problems.append(f"Kova.Client.asmdef: name {assembly.get('name')!r}")
        for key in ("references", "includePlatforms", "excludePlatforms"):
            if not isinstance(assembly.get(key), list):
                problems.append(f"Kova.Client.asmdef: {key} is not a list")
    elif assembly is not None:
        problems.append("Kova.Client.asmdef: not an object")

    assets, metas = set(), set()
    for folder, folders, files in os.walk(root):
        relative = os.path.relpath(folder, root)
        for name in folders:
            assets.add(os.path.normpath(os.path.join(relative, name)))
        for name in files:
            path = os.path.normpath(os.path.join(relative, name))
            (metas if name.endswith(".meta") else assets).add(path)
    # The source tree lacks what the build installs; one build installs its
    # own architecture's DLL only.
    if args.installed:
        absent = {f"Runtime/Plugins/{arch}/kova_client.dll" for arch in PE_MACHINES
                  if arch not in args.dll}
    else:
        absent = INSTALLED
    expected = set(assets) | absent
    for asset in sorted(assets - {m[:-5] for m in metas}):
        problems.append(f"{asset}: no .meta file")
    for meta in sorted(metas):
        if meta[:-5] not in expected:
            problems.append(f"{meta}: no asset beside it")

    guids = {}
    for meta in sorted(metas):
        asset = meta[:-5]
        try:
            with open(os.path.join(root, meta), encoding="utf-8") as file:
                parsed = parse_meta(file.read())
        except (MetaError, UnicodeDecodeError) as error:
            problems.append(f"{meta}: not well-formed: {error}")
            continue
        if not isinstance(parsed, dict):
            problems.append(f"{meta}: not a mapping")
            continue
        if parsed.get("fileFormatVersion") != "2":
            problems.append(f"{meta}: fileFormatVersion {parsed.get('fileFormatVersion')!r}")
        guid = parsed.get("guid", "")
        if not re.fullmatch(r"[0-9a-f]{32}", guid):
            problems.append(f"{meta}: guid {guid!r} is not 32 hexadecimal digits")
        elif guid in guids:
            problems.append(f"{meta}: guid {guid} also in {guids[guid]}")
        guids[guid] = meta
        if os.path.isdir(os.path.join(root, asset)) or "." not in os.path.basename(asset):
            want = "DefaultImporter"
            if parsed.get("folderAsset") != "yes":
                problems.append(f"{meta}: a folder's meta without 'folderAsset: yes'")
        else:
            want = IMPORTERS.get(os.path.splitext(asset)[1], "DefaultImporter")
        importers = [key for key in parsed if key.endswith("Importer")]
        if importers != [want]:
            problems.append(f"{meta}: importers {importers}, wanted {want}")
        if want == "PluginImporter":
            arch = os.path.basename(os.path.dirname(asset))
            if arch not in PLUGIN_PLATFORMS:
                problems.append(f"{meta}: a DLL outside Plugins/x86_64 and Plugins/x86")
            else:
                check_plugin(parsed, arch, meta, problems)

    if args.installed:
        binding = os.path.join(root, "Runtime", "KovaClient.cs")
        if args.binding and (not os.path.isfile(binding) or
                             open(binding, "rb").read() != open(args.binding, "rb").read()):
            problems.append(f"Runtime/KovaClient.cs: missing or not {args.binding}")
        for arch in args.dll:
            dll = os.path.join(root, "Runtime", "Plugins", arch, "kova_client.dll")
            if not os.path.isfile(dll):
                problems.append(f"{dll}: missing")
            elif pe_machine(dll) != PE_MACHINES[arch]:
                problems.append(f"{dll}: not a Windows DLL for {arch}")

    for problem in problems:
        print(problem)
    if problems:
        print(f"FAILED: {len(problems)} problems in {root}")
        return 1
    print(f"{root}: {len(assets)} assets with their .meta files, version {version}"
          + (f", DLLs {' '.join(args.dll)}" if args.dll else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
