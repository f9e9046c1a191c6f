// SPDX-License-Identifier: Apache-2.0
// Copyright Huecast contributors
#pragma once

// The tool's help, in one place: `huecast --help` prints the description, `huecast` and
// `huecast help` the command summaries. docs/huecast.1.md says the same at length, and the
// manual's test holds it to every command and option that --help lists.

namespace huecast::tool
{

/// `huecast --help`'s text above the options: every command's contract.
inline constexpr const char* kToolDescription =
    "huecast: grade frames through 3D colour look-up tables (.cube files) on the GPU.\n"
    "\n"
    "Commands and their contract (stable; scripts depend on it):\n"
    "  huecast render (--lut NAME | --lut-file PATH | --project FILE) [--save-project FILE]\n"
    "                 [--frames A-B] [--depth D] [--compression C] [--interpolation I]\n"
    "                 [--amount A] [--codec NAME] [--crf N] [-q] INPUT... -o OUTPUT\n"
    "      Grade still frames, frame sequences (PNG, JPEG, TIFF, OpenEXR, DPX) and clips\n"
    "      (.mov, .mp4, .mkv, .webm, .avi, .mxf, .mpg, ...: whatever FFmpeg opens) through\n"
    "      the plug-in, keeping each input's bit depth (8-bit, 16-bit, float; a clip of 10\n"
    "      bits or more as 16-bit) unless --depth uint8|uint16|half|float says otherwise;\n"
    "      --compression names the writer's compression. Colour is graded straight (not\n"
    "      premultiplied); alpha passes through. A clip gives every frame its decoder gives,\n"
    "      once, in the order players show them, turned as they show it.\n"
    "      --lut picks a \"3D LUT\" popup entry, --lut-file loads a .cube file through\n"
    "      Browse, --project restores a saved project (no .cube needed); --lut \"No LUT\"\n"
    "      copies the frames through the plug-in unchanged.\n"
    "      --save-project writes the chosen LUT, whole, into a project file.\n"
    "      --interpolation trilinear|tetrahedral reads the lattice by the texture unit's\n"
    "      trilinear filter (the default) or by tetrahedral weights of four entries, as\n"
    "      ffmpeg's lut3d and OpenColorIO do; --amount A (0 to 1, default 1) mixes the graded\n"
    "      colour with the input: input + A x (graded - input). A project keeps both; given\n"
    "      with --project, they replace what it saved.\n"
    "      An INPUT may be a sequence: shot.%04d.exr or shot.####.exr (one digit a '#').\n"
    "      OUTPUT is a file for one input, else a folder (frames keep their names) or a\n"
    "      numbered pattern; a clip's frames go into a numbered pattern, or into a folder as\n"
    "      NAME.0001.png on, or into a movie (.mov, .mp4, .mkv, .mxf) with every other stream\n"
    "      of the clip (sound, subtitles, timecode) copied and each frame at its source time.\n"
    "      A movie's video is encoded with the clip's own codec where FFmpeg has an encoder\n"
    "      for it, else ProRes 422 HQ (prores_ks) in .mov and .mxf and H.264 (libx264) in\n"
    "      .mp4 and .mkv; --codec NAME picks another encoder, --crf N its quality (libx264\n"
    "      default 16). A progress bar shows on a terminal for more than one frame, a single\n"
    "      frame's or a movie's path is noted; -q leaves only errors.\n"
    "      A gap in a sequence is an error that names the missing frames; --frames A-B\n"
    "      grades only frames A to B (inclusive, the numbers in the file names; a clip's\n"
    "      frames count from 1).\n"
    "  huecast apply --lut-file PATH [--interpolation I] [--amount A]\n"
    "      Read lines of three numbers \"r g b\" on stdin, grade them through the GPU render\n"
    "      pass on a float frame, print the graded \"r g b\" (%.9g) for each line;\n"
    "      --interpolation and --amount as for render.\n"
    "  huecast check [--json] FILE...\n"
    "      Read each .cube file with the plug-in's reader. Without --json: one line a file.\n"
    "      With --json: one JSON array, one object a file in argument order:\n"
    "        {\"file\": F, \"ok\": true, \"size\": N, \"sha256\": HEX-OF-LATTICE-BYTES,\n"
    "         \"domainMin\": [r,g,b], \"domainMax\": [r,g,b]}   (domain keys only when present)\n"
    "        {\"file\": F, \"ok\": false, \"domain\": D, \"code\": C, \"message\": M}\n"
    "      Both also carry \"warnings\": [{\"line\": K, \"message\": W}] when the reader read\n"
    "      a line otherwise than its writer likely meant (\"0,5\" as 0, a line skipped, an\n"
    "      unknown keyword, a domain whose minimum is not below its maximum, where a short\n"
    "      table went wrong), printed without --json as FILE:K: warning: W; and a failure of\n"
    "      a file not named .cube carries a \"hint\". Warnings don't change the exit status.\n"
    "  huecast list [--parameters]\n"
    "      Print the \"3D LUT\" popup entries of a new filter instance, one a line: \"No LUT\",\n"
    "      \"External File\", then the .cube files of the LUT library folders: the library\n"
    "      folder ~/Movies/Motion Templates.localized/Effects.localized/Velmor/Tintbay/,\n"
    "      then $XDG_DATA_HOME/huecast/luts (~/.local/share), then huecast/luts under each\n"
    "      of $XDG_DATA_DIRS (/usr/local/share:/usr/share); an earlier folder's name hides\n"
    "      a later one's.\n"
    "      --parameters prints every parameter instead: id, name, kind, values (tabs).\n"
    "  huecast library [--add FILE... [--force]]\n"
    "      Without --add: print each LUT library folder, then its entries, each that won't\n"
    "      load followed by the reader's message, each hidden by an earlier folder's marked.\n"
    "      With --add: read each .cube file and copy the good ones into the first folder\n"
    "      as NAME.cube (making it), so that\n"
    "      --lut NAME finds them; a different file of the same name stays unless --force.\n"
    "  huecast inspector -o PANEL.png [--width W] [--path P] [--pressed] [--scale S]\n"
    "      Draw the \"Load LUT\" control (Browse button and path display) as the host's\n"
    "      inspector shows it into a PNG: W points wide (114 to 4096, default 468), showing\n"
    "      the path P, the button held down with --pressed, S pixels a point (1 to 8).\n"
    "  huecast sheet FRAME -o SHEET.png [--lut NAME]... [--lut-file PATH]... [--columns N]\n"
    "                [--width W]\n"
    "      Grade one frame through every library LUT (or the --lut entries, then the\n"
    "      --lut-file files) as render does, and tile the results into a PNG, the ungraded\n"
    "      frame first, each look's name under it: W pixels a tile (16 to 4096, default\n"
    "      320), N tiles a row (default: as near a square as fits). A look that fails has its\n"
    "      message drawn in its tile and printed; the sheet is still written, exit status 1.\n"
    "\n"
    "The plug-in bundle is found through $HUECAST_BUNDLE, else where the tool is installed.\n"
    "Exit status: 0 when everything succeeded, 1 when a file failed, 2 for a usage error.\n";

/// What `render` says when no LUT is chosen.
inline constexpr const char* kChooseALut =
    "huecast render: choose a LUT: --lut NAME (a \"3D LUT\" popup entry: `huecast list`; "
    "\"No LUT\" copies the frames), --lut-file PATH (a .cube file) or --project FILE (a "
    "project saved with --save-project)\n";

/// Each command's one-line summary, in the order `huecast help` lists them.
inline constexpr const char* kCheckSummary = "Read .cube files and print what each holds";
inline constexpr const char* kListSummary = "Print the LUT popup's entries";
inline constexpr const char* kLibrarySummary = "Print the LUT library folders, or add .cube files";
inline constexpr const char* kRenderSummary = "Grade frames through the plug-in and write them";
inline constexpr const char* kApplySummary =
    "Grade \"r g b\" lines from stdin through the render pass";
inline constexpr const char* kInspectorSummary = "Draw the \"Load LUT\" control into a PNG";
inline constexpr const char* kSheetSummary = "Tile one frame graded through many LUTs into a PNG";

} // namespace huecast::tool
