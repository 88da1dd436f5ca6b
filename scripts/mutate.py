#!/usr/bin/env python3
"""Mutation check: does the test suite notice realistic single-line faults?

Each mutant below names a file (a hint: the library's files move between
rooms, so the snippet is looked for in all of scanlib/, sim/ and codecs/ when
the named file lacks it), an exact original snippet and its replacement. The
script applies one mutant at a time in its own build folder, rebuilds what
the tests need, runs CTest (stopping at the first failure, a hang counts as
caught), always restores the file, and prints one row per mutant and a
summary.

  scripts/mutate.py                 # every mutant
  scripts/mutate.py M03 M17         # only these, in this order
  scripts/mutate.py --list          # where each mutant applies, no build
  scripts/mutate.py --matrix F      # run the whole suite on each mutant and
                                    # write every test it fails to F (JSON lines)
  scripts/mutate.py --hint OLD      # OLD: an earlier run's output; the test that
                                    # caught a fault there is tried first
  TARVOSCN_MUTATE_BUILD=dir         # build folder (default build-mutate)
"""
import argparse
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SEARCH_ROOTS = ("scanlib", "sim", "codecs")

# (id, file hint, original, replacement, what the fault is)
MUTANTS = [
    # --- scsi: command blocks, transport, trace log
    ("M01", "scanlib/scsi/Commands.cpp",
     "PutBe16(cdb, wire::kCdb10Qualifier, qualifier);",
     "PutBe16(cdb, wire::kCdb10Qualifier, qualifier & 0xFF);",
     "READ/SEND lose the high byte of the data-type qualifier"),
    ("M02", "scanlib/scsi/Commands.cpp",
     "cdb[wire::kGetScanModePage] = pageCode;",
     "cdb[wire::kGetScanModePage] = pageCode & 0x1F;",
     "GET SCAN MODE page code loses its high bits"),
    ("M03", "scanlib/scsi/Commands.cpp",
     "cdb[wire::kCdbFlags] = wire::kSingleWindowBit;",
     "cdb[wire::kCdbFlags] = 0;",
     "GET WINDOW without the single-window bit"),
    ("M04", "scanlib/scsi/Commands.cpp",
     "{2, 2, {0x00, 0x01}},",
     "{2, 1, {0x00, 0x01}},",
     "SCAN window list for window 2 sends one identifier"),
    ("M05", "scanlib/scsi/Commands.cpp",
     "data[wire::kMuPageLength] = wire::kMeasurementUnitsPageLength;",
     "data[wire::kMuPageLength] = wire::kMeasurementUnitsPageLength + 1;",
     "measurement-unit page length off by one"),
    ("M06", "scanlib/scsi/Commands.cpp",
     "ScsiCommand CmdLoadObject() { return Position(cmd::kLoadObject, wire::kObjectLoad); }",
     "ScsiCommand CmdLoadObject() { return Position(cmd::kLoadObject, wire::kObjectUnload); }",
     "load sheet sends the unload position type"),
    ("M07", "scanlib/scsi/Transport.cpp",
     "      outcome.result = srb.SRB_TargStat;",
     "      outcome.result = 0;",
     "target status (check condition) reported as success"),
    ("M08", "scanlib/scsi/Transport.cpp",
     "std::copy_n(srb.SenseArea, kSenseBufferLength, outcome.sense.bytes);",
     "std::copy_n(srb.SenseArea, 2, outcome.sense.bytes);",
     "sense bytes not handed back to the caller"),
    ("M09", "scanlib/scsi/Transport.cpp",
     "      LogFailure(context, kSiteTargetError, callSite, FailureValue(srb));",
     "      (void)0;",
     "target error not logged"),
    ("M10", "scanlib/scsi/ScsiLog.cpp",
     "const std::size_t count = srbStatus == aspi::kSsErr ? 2 : 1;",
     "const std::size_t count = srbStatus != aspi::kSsErr ? 2 : 1;",
     "trace writes the sense line for the wrong status"),
    ("M11", "scanlib/scsi/ScsiLog.cpp",
     '{wire::kOpGetWindow, "GetWindow      "},',
     '{wire::kOpSetWindow, "GetWindow      "},',
     "trace names GET WINDOW wrongly"),
    ("M12", "scanlib/scsi/ScsiLog.cpp",
     "if (!traceOn) return;",
     "if (traceOn) return;",
     "command trace switch inverted"),
    # --- scan: sense translation, guarded files, batch, documents, probe, pages
    ("M13", "scanlib/scan/Diagnostics.cpp",
     "{kKeyMediumError, 0x80, 0x00, Result::PaperJam},",
     "{kKeyMediumError, 0x80, 0x00, Result::HardwareError},",
     "a jam reads as a hardware error"),
    ("M14", "scanlib/scan/Diagnostics.cpp",
     "{kKeyNotReady, 0x04, 0x03, Result::NotReadyManual},",
     "{kKeyNotReady, 0x04, 0x02, Result::NotReadyManual},",
     "wrong qualifier in the sense table"),
    ("M15", "scanlib/scan/Diagnostics.cpp",
     "static_cast<std::uint8_t>(sense[wire::kSenseKeyByte] & wire::kSenseKeyMask);",
     "static_cast<std::uint8_t>(sense[wire::kSenseKeyByte]);",
     "sense key read without its mask"),
    ("M16", "scanlib/scan/Diagnostics.cpp",
     "while (platform.Ticks() - start <= milliseconds) {",
     "while (platform.Ticks() < start + milliseconds) {",
     "spin wait breaks at the tick counter's wrap"),
    ("M17", "scanlib/scsi/CheckCondition.cpp",
     "  DriverLog(context, kTagCheckScsi, callSite, module, transportResult);",
     "  (void)context, (void)callSite, (void)module;",
     "transport failure not logged"),
    ("M18", "scanlib/scan/GuardedFile.cpp",
     "if (retryable && ++failedInSeries < kGuardedAttemptsPerSeries) {",
     "if (retryable && ++failedInSeries <= kGuardedAttemptsPerSeries) {",
     "one retry too many per series"),
    ("M19", "scanlib/core/GuardedFile.cpp",
     "if (guard.ejectOnFailure) if (context.onCreateFailure",
     "if (!guard.ejectOnFailure) if (context.onCreateFailure",
     "sheet ejected after the wrong failures"),
    ("M20", "scanlib/scan/GuardedFile.cpp",
     "Guard{tag, callSite, module, true}",
     "Guard{tag, callSite, module, false}",
     "failed create leaves the sheet in the scanner"),
    ("M21", "scanlib/scan/Batch.cpp",
     "if (!TestBits(status, PageOffset(kStPaperByte), kStPaperPresent)) {",
     "if (TestBits(status, PageOffset(kStPaperByte), kStPaperPresent)) {",
     "paper-present bit inverted in the page wait"),
    ("M22", "scanlib/scan/Batch.cpp",
     "const bool pair1 = (b & kSeparatorMark) != 0 && (b & kSeparatorBit1) != 0;",
     "const bool pair1 = (b & kSeparatorMark) != 0 && (b & kSeparatorBit0) != 0;",
     "separator pair 1 read from the wrong bit"),
    ("M23", "scanlib/scan/Batch.cpp",
     "if (c.state.page.separatorDetected == 1 && (s.separatorModeA & 4) != 0) return Result::Ok;",
     "if (c.state.page.separatorDetected == 1 && (s.separatorModeA & 2) != 0) return Result::Ok;",
     "separator sheet skipped on the wrong mode bit (phantom page)"),
    ("M24", "scanlib/scan/Batch.cpp",
     "if (s.rotate != 0) std::swap(s.pageLength, s.pageWidth);",
     "if (s.rotate != 0) {}",
     "turned page keeps its unturned size"),
    ("M25", "scanlib/scan/Batch.cpp",
     "  c.state.document.docLinkValue = linkValue;",
     "  c.state.document.docLinkValue = 0;",
     "insert forgets the pages after the insertion point"),
    ("M26", "scanlib/scan/Batch.cpp",
     "} else if (c.state.document.docFile != kInvalidFile) {",
     "} else if (c.state.document.docFile == kInvalidFile) {",
     "a forgotten document's handle left open"),
    ("M27", "scanlib/scan/Batch.cpp",
     "s.pageLength = Mul32(static_cast<std::int32_t>(GetBe32(size, kDetectedLength)), s.xResolution) /",
     "s.pageLength = Mul32(static_cast<std::int32_t>(GetBe32(size, kDetectedWidth)), s.xResolution) /",
     "detected length read from the width field"),
    ("M28", "scanlib/scan/Batch.cpp",
     "c.state.page.counter2 = GetBe32(counters, kCounter2);",
     "c.state.page.counter2 = GetBe32(counters, kCounter3);",
     "page counter 2 read from counter 3"),
    ("M29", "scanlib/scan/Batch.cpp",
     "c.state.page.statusBitReported = true;",
     "c.state.page.statusBitReported = false;",
     "flagged page reported again and again"),
    ("M30", "scanlib/scan/Documents.cpp",
     "if (doc.docFile != kInvalidFile) context.platform.FileClose(doc.docFile);",
     "if (doc.docFile == kInvalidFile) context.platform.FileClose(doc.docFile);",
     "a dropped document's handle left open"),
    ("M31", "scanlib/scan/Documents.cpp",
     "page.width = static_cast<std::uint32_t>(settings.pageLength);",
     "page.width = static_cast<std::uint32_t>(settings.pageWidth);",
     "document page width from the wrong side"),
    ("M32", "scanlib/scan/Documents.cpp",
     "doc.docDataPos = doc.docIfdPos + blockLength;\n  doc.docLinkPos = doc.docIfdPos + linkOffset;",
     "doc.docDataPos = doc.docIfdPos + blockLength - 1;\n  doc.docLinkPos = doc.docIfdPos + linkOffset;",
     "next page data overlaps the last byte of the IFD block"),
    ("M33", "scanlib/scan/Probe.cpp",
     "text[1] = '0';",
     "text[1] = '1';",
     "firmware revision read wrongly"),
    ("M34", "scanlib/scan/Probe.cpp",
     "link.scanner.scannerCaps.batchCapable = TestBits(page, kVpFlags, kVpBatchCapable);",
     "link.scanner.scannerCaps.batchCapable = TestBits(page, kVpFlags, kVpFlag5);",
     "batch capability from the wrong bit"),
    ("M35", "scanlib/scan/ModePages.cpp",
     "d[kWinContrast] = static_cast<std::uint8_t>(s.contrast);",
     "d[kWinContrast] = static_cast<std::uint8_t>(s.brightness);",
     "window contrast carries the brightness"),
    ("M36", "scanlib/scan/ModePages.cpp",
     "Div32(Mul32(Sub32(Sub32(MaxWidthPixels(xr), s.sideOffset), s.scanWidth), kUnitsPerInch), xr);",
     "Div32(Mul32(Sub32(MaxWidthPixels(xr), s.sideOffset), kUnitsPerInch), xr);",
     "window left edge ignores the scan width"),
    ("M37", "scanlib/scan/ModePages.cpp",
     "SetBits(p, sep, kSmSeparatorAContinue, (s.separatorModeA & 4) != 0);",
     "SetBits(p, sep, kSmSeparatorAContinue, (s.separatorModeA & 2) != 0);",
     "separator A continue bit from the wrong mode bit"),
    ("M38", "scanlib/scan/ModePages.cpp",
     "SetBits(p, feed, kSmAddonOn, s.addonOn != 0);",
     "SetBits(p, feed, kSmAddonOn, s.addonOn == 0);",
     "imprinter switch never reaches the scanner"),
    ("M39", "scanlib/scan/ModePages.cpp",
     "SetBits(p, at, bit, value == ++n);",
     "SetBits(p, at, bit, value == n++);",
     "polarity bit 2 set for the wrong polarity"),
    ("M40", "scanlib/scan/ModePages.cpp",
     "s.bitsPerPixel = s.imageType == kImageGray ? d[kWinBitsPerPixel] : 1;",
     "s.bitsPerPixel = s.imageType == kImageGray ? d[kWinBitsPerPixel] : 8;",
     "bilevel window read back with 8 bits"),
    ("M41", "scanlib/scan/ModePages.cpp",
     "if (TestBits(block, bit.byte, bit.mask)) return bit.code;",
     "if (!TestBits(block, bit.byte, bit.mask)) return bit.code;",
     "function key reads the first clear bit"),
    ("M42", "scanlib/scan/Parameters.cpp",
     "return value >= d.min && value <= d.max;",
     "return value >= d.min && value < d.max;",
     "parameter range drops its top value"),
    ("M43", "scanlib/scan/Parameters.cpp",
     "if (id < kFirstId || id > kLastId) return nullptr;",
     "if (id < kFirstId || id >= kLastId) return nullptr;",
     "last parameter unknown"),
    ("M44", "scanlib/scsi/CheckCondition.cpp",
     "  if (IsCheckCondition(transportResult)) {\n    return SenseToResult(",
     "  if (transportResult == 4) {\n    return SenseToResult(",
     "a check condition not read from its sense bytes"),
    # --- image: Group 4, turn, pipeline, BMP
    ("M45", "scanlib/image/G4Coder.cpp",
     "if (b2 < a1) {  // pass mode",
     "if (b2 <= a1) {  // pass mode",
     "pass mode taken when b2 meets a1"),
    ("M46", "scanlib/image/G4Coder.cpp",
     "if (static_cast<std::uint32_t>(d + 3) <= 6) {  // vertical mode",
     "if (static_cast<std::uint32_t>(d + 3) < 6) {  // vertical mode",
     "vertical mode VR3 never used"),
    ("M47", "scanlib/image/G4Coder.cpp",
     "while (b[0] <= a0) b += 2;",
     "while (b[0] < a0) b += 2;",
     "b1 not moved past a0 after horizontal mode"),
    ("M48", "scanlib/image/RunCodes.h",
     "{  19, 0b0001100,  7},  // 0001100",
     "{  19, 0b0001101,  7},  // 0001100",
     "wrong white run code for 19"),
    ("M49", "scanlib/image/Rotate.cpp",
     "for (unsigned k = 0; k < 8; ++k) dst[k * dstStride] = ByteOf(t, 7 - k);",
     "for (unsigned k = 0; k < 8; ++k) dst[k * dstStride] = ByteOf(t, k);",
     "edge block of the turn mirrored"),
    ("M50", "scanlib/scan/PagePipeline.cpp",
     "if (job_.settings.invertData != 0) InvertBytes(buffer_.data(), chunk_);",
     "if (job_.settings.invertData == 0) InvertBytes(buffer_.data(), chunk_);",
     "image data inverted when it should not be"),
    ("M51", "scanlib/image/BmpWriter.cpp",
     "layout.fileRowBytes = static_cast<std::uint32_t>((w + 31) / 32 * 4);",
     "layout.fileRowBytes = static_cast<std::uint32_t>((w + 7) / 8);",
     "bilevel BMP rows not padded to four bytes"),
    ("M52", "scanlib/image/BmpWriter.cpp",
     "for (std::int32_t r = rows - 1; r >= 0; --r) {",
     "for (std::int32_t r = rows - 1; r > 0; --r) {",
     "BMP loses its top row"),
    # --- tiff: writer, chain, rename, concatenation
    ("M53", "scanlib/tiff/TiffWriter.cpp",
     "{kTagPhotometric, kTypeShort, Pages::kAll, Field::kZero},",
     "{kTagPhotometric, kTypeShort, Pages::kAll, Field::kOne},",
     "pages written as BlackIsZero"),
    ("M54", "scanlib/tiff/TiffWriter.cpp",
     "next += text.length + (text.HasFill() ? 1 : 0);",
     "next += text.length;",
     "text fill byte not counted in the block"),
    ("M55", "scanlib/tiff/TiffWriter.cpp",
     "PutLe32(out, at + 12, 1);",
     "PutLe32(out, at + 12, 2);",
     "Y resolution denominator 2"),
    ("M56", "scanlib/tiff/TiffChain.cpp",
     "if (!cursor.IfdsDisjoint()) return false;",
     "(void)0;",
     "overlapping IFDs accepted"),
    ("M57", "scanlib/tiff/TiffRename.cpp",
     "if (entries >= tiff::kMaxEntryCount && !NameFitsInPlace(context, file, first, entries)) {",
     "if (entries > tiff::kMaxEntryCount && !NameFitsInPlace(context, file, first, entries)) {",
     "entry count overflows on rename"),
    ("M58", "scanlib/tiff/TiffRename.cpp",
     "return nameLength_ <= tiff::kInlineValueSize ? tiff::InlineText(name_, nameLength_)",
     "return nameLength_ < tiff::kInlineValueSize ? tiff::InlineText(name_, nameLength_)",
     "four-byte name not stored inline"),
    ("M59", "scanlib/tiff/TiffConcat.cpp",
     "if (!destination.WriteLe32At(target, cursor.linkValue() + distance, kSiteWriteLink)) {",
     "if (!destination.WriteLe32At(target, cursor.linkValue(), kSiteWriteLink)) {",
     "appended links not moved by the distance"),
    # --- ui: language, imprinter dialog, gamma file, function keys
    ("M60", "scanlib/ui/Language.cpp",
     "if (third == '0' && fourth == 'c') return \"French\";",
     "if (third == '0' && fourth == 'd') return \"French\";",
     "French locale not recognised"),
    ("M61", "scanlib/ui/AddonDialog.cpp",
     "if (index < 0 || static_cast<std::size_t>(index) >= std::size(kTimingChoices)) return false;",
     "if (index < 0 || static_cast<std::size_t>(index) > std::size(kTimingChoices)) return false;",
     "timing choice read past its table"),
    ("M62", "scanlib/ui/GammaFile.cpp",
     "if (line.front() == ';') continue;",
     "if (line.front() == '#') continue;",
     "gamma file comments not skipped"),
    ("M63", "scanlib/ui/FunctionKeyDialog.cpp",
     "if (firmwareRevision < kFullListRevision) return kFirst14;",
     "if (firmwareRevision <= kFullListRevision) return kFirst14;",
     "full function list withheld at the first full revision"),
    # --- simulator and codecs
    ("M64", "sim/Scanner.cpp",
     "if (key < 1 || key > keys_.size()) return x.Check(kSenseInvalidParameter);",
     "if (key > keys_.size()) return x.Check(kSenseInvalidParameter);",
     "simulator accepts function key 0"),
    ("M65", "sim/Scanner.cpp",
     "if (record.bytesSent + wanted > jamAt) {",
     "if (record.bytesSent + wanted > jamAt + wanted) {",
     "simulated jam comes one transfer late"),
    ("M66", "codecs/klxjpeg.c",
     "info.density_unit = 1; /* dots per inch */",
     "info.density_unit = 2; /* dots per inch */",
     "JPEG density in dots per centimetre"),
    ("M67", "codecs/ravezeva.c",
     "static const png_color kPalette[2] = {{255, 255, 255}, {0, 0, 0}};",
     "static const png_color kPalette[2] = {{0, 0, 0}, {255, 255, 255}};",
     "bilevel PNG palette inverted"),
]


def locate(hint, original):
    """The file holding `original`: the hint, else the one file under the roots."""
    path = os.path.join(REPO, hint)
    if os.path.isfile(path) and original in open(path, encoding="utf-8").read():
        return hint
    found = []
    for root in SEARCH_ROOTS:
        for folder, _, files in os.walk(os.path.join(REPO, root)):
            for name in files:
                if not re.search(r"\.(c|cc|cpp|h|hpp)$", name):
                    continue
                full = os.path.join(folder, name)
                with open(full, encoding="utf-8", errors="replace") as f:
                    if original in f.read():
                        found.append(os.path.relpath(full, REPO))
    return found[0] if len(found) == 1 else None


def run(cmd, timeout=None, **kw):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                          timeout=timeout, **kw)


def test_programs(build):
    """Each test's name and the targets of the programs it runs (built in
    `build`; scripts the tests start from the source tree are no targets)."""
    out = run(["ctest", "--test-dir", build, "--show-only=json-v1"]).stdout
    programs = {}
    for test in json.loads(out).get("tests", []):
        command = test.get("command") or []
        names = set()
        for arg in command[:1] + [a for a in command if a.startswith("-DHOST=")]:
            path = arg.split("=", 1)[-1]
            exe = os.path.basename(path)
            if exe and not exe.startswith("cmake") and os.path.abspath(path).startswith(build + os.sep):
                names.add(exe)
        programs[test.get("name", "")] = names
    return programs


def test_targets(build):
    """The executables CTest runs and the targets they are built from."""
    return sorted(set().union(*test_programs(build).values()))


def configure(build):
    if not os.path.isfile(os.path.join(build, "CMakeCache.txt")):
        # Light optimisation, no debug information and lld: the rebuild after
        # each mutant is mostly linking the test programs.
        link = "-fuse-ld=lld" if shutil.which("ld.lld") else ""
        r = run(["cmake", "-S", REPO, "-B", build, "-G", "Unix Makefiles",
                 "-DCMAKE_BUILD_TYPE=Release", "-DCMAKE_C_FLAGS_RELEASE=-O1 -DNDEBUG",
                 "-DCMAKE_CXX_FLAGS_RELEASE=-O1 -DNDEBUG",
                 f"-DCMAKE_EXE_LINKER_FLAGS={link}", f"-DCMAKE_SHARED_LINKER_FLAGS={link}",
                 f"-DCMAKE_MODULE_LINKER_FLAGS={link}",
                 "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DCMAKE_C_COMPILER_LAUNCHER=ccache"])
        if r.returncode != 0:
            sys.exit("configure failed:\n" + r.stdout)


def build_targets(build, targets, jobs):
    cmd = ["cmake", "--build", build, "-j", str(jobs)]
    if targets:
        cmd += ["--target"] + targets
    return run(cmd)


FAILED = re.compile(r"Test\s+#\d+:\s+(\S+)\s+\.*\s*(\*+\s*)?(Failed|Timeout|Exception|"
                    r"Subprocess aborted|SEGFAULT|Child aborted|\*\*\*)")


# The slowest tests run last, so a mutant most tests catch is found quickly.
SLOW = r"^(HostileTest|BatchTest\.AFailureAtAnyCommand|Rt650scanTest)"


def run_suite(build, jobs, timeout):
    """None when every test passed, else the first failing test's name."""
    for select in (["-E", SLOW], ["-R", SLOW]):
        cmd = ["ctest", "--test-dir", build, "-j", str(jobs), "--stop-on-failure",
               "--timeout", str(timeout)] + select
        try:
            r = run(cmd, timeout=timeout * 20)
        except subprocess.TimeoutExpired:
            return "(suite hung)"
        if r.returncode == 0:
            continue
        for line in r.stdout.splitlines():
            m = FAILED.search(line)
            if m and "Passed" not in line:
                return m.group(1) + (" (timeout)" if "Timeout" in line else "")
        failed = os.path.join(build, "Testing", "Temporary", "LastTestsFailed.log")
        if os.path.isfile(failed):
            names = [l.split(":", 1)[-1].strip() for l in open(failed) if ":" in l]
            if names:
                return names[0]
        return "(ctest failed)"
    return None


def run_one(build, name, timeout):
    """True when the one test fails or hangs."""
    head = name.split(" ", 1)[0]
    pattern = "^" + re.sub(r"([][.*+?()^$|\\])", r"\\\1", head) + ("$" if head == name else " ")
    cmd = ["ctest", "--test-dir", build, "--timeout", str(timeout), "-R", pattern]
    try:
        return run(cmd, timeout=timeout * 2).returncode != 0
    except subprocess.TimeoutExpired:
        return True


def failing_tests(build, jobs, timeout):
    """Every test of the suite that fails (a hang counts), in CTest's names."""
    cmd = ["ctest", "--test-dir", build, "-j", str(jobs), "--timeout", str(timeout)]
    try:
        r = run(cmd, timeout=timeout * 40)
    except subprocess.TimeoutExpired:
        return ["(suite hung)"]
    if r.returncode == 0:
        return []
    failed = os.path.join(build, "Testing", "Temporary", "LastTestsFailed.log")
    if os.path.isfile(failed):
        names = [l.split(":", 1)[-1].strip() for l in open(failed) if ":" in l]
        if names:
            return names
    return ["(ctest failed)"]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("ids", nargs="*")
    ap.add_argument("--list", action="store_true")
    ap.add_argument("-j", "--jobs", type=int, default=2)
    ap.add_argument("--timeout", type=int, default=60, help="seconds per test")
    ap.add_argument("--matrix", metavar="FILE", help="record every failing test per mutant")
    ap.add_argument("--hint", metavar="FILE",
                    help="an earlier run's output: the test that caught a fault there is "
                         "built and run first, the whole suite only when it passes")
    args = ap.parse_args()
    build = os.path.abspath(os.environ.get("TARVOSCN_MUTATE_BUILD", os.path.join(REPO, "build-mutate")))
    by_id = {m[0]: m for m in MUTANTS}
    unknown = [i for i in args.ids if i not in by_id]
    if unknown:
        sys.exit("no such mutant: " + " ".join(unknown))
    chosen = [by_id[i] for i in args.ids] if args.ids else MUTANTS  # in the order given

    if args.list:
        for mid, hint, orig, _, what in chosen:
            print(f"{mid}  {locate(hint, orig) or 'not applicable'}  {what}")
        return 0

    configure(build)
    r = build_targets(build, None, args.jobs)
    if r.returncode != 0:
        sys.exit("the unmutated tree does not build:\n" + r.stdout[-4000:])
    programs = test_programs(build)
    targets = sorted(set().union(*programs.values()))
    hints = {}
    if args.hint:
        for line in open(args.hint, encoding="utf-8"):
            m = re.match(r"(M\d+)\s+caught by (\S+)", line)
            # A parameterised test's CTest name goes on after a space.
            known = [n for n in programs if m and (n == m.group(2) or n.startswith(m.group(2) + " "))]
            if known:
                hints[m.group(1)] = known[0]
    if run_suite(build, args.jobs, args.timeout) is not None:
        sys.exit("the unmutated suite fails; fix it first")

    # Restore on Ctrl-C and on termination as well.
    signal.signal(signal.SIGTERM, lambda *_: (_ for _ in ()).throw(KeyboardInterrupt()))
    rows = []
    started = time.time()
    for mid, hint, orig, repl, what in chosen:
        rel = locate(hint, orig)
        if rel is None:
            rows.append((mid, what, "not applicable"))
            print(f"{mid:4} {'not applicable':40} {what}", flush=True)
            continue
        path = os.path.join(REPO, rel)
        with open(path, encoding="utf-8") as f:
            text = f.read()
        try:
            with open(path, "w", encoding="utf-8") as f:
                f.write(text.replace(orig, repl, 1))
            hinted = hints.get(mid) if not args.matrix else None
            if hinted and build_targets(build, sorted(programs[hinted]), args.jobs).returncode == 0 \
                    and run_one(build, hinted, args.timeout):
                verdict = f"caught by {hinted}"
            elif build_targets(build, targets, args.jobs).returncode != 0:
                verdict = "BUILD FAILED"
            elif args.matrix:
                failed = failing_tests(build, args.jobs, args.timeout)
                with open(args.matrix, "a", encoding="utf-8") as out:
                    out.write(json.dumps({"id": mid, "file": rel, "failed": failed}) + "\n")
                verdict = f"caught by {len(failed)} tests" if failed else "SURVIVED"
                if not failed:
                    verdict = "SURVIVED"
            else:
                caught = run_suite(build, args.jobs, args.timeout)
                verdict = f"caught by {caught}" if caught else "SURVIVED"
        finally:
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
        rows.append((mid, what, verdict))
        print(f"{mid:4} {verdict:40} {what} [{rel}]", flush=True)

    # Leave the build folder matching the tree again.
    build_targets(build, targets, args.jobs)
    applied = [r for r in rows if r[2] not in ("not applicable", "BUILD FAILED")]
    caught = [r for r in applied if r[2].startswith("caught")]
    survivors = [r[0] for r in applied if r[2] == "SURVIVED"]
    print(f"\nsummary: {len(caught)} caught / {len(applied)} applied "
          f"({len(rows) - len(applied)} not applicable or not building) in "
          f"{(time.time() - started) / 60:.0f} min; survivors: {' '.join(survivors) or 'none'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
