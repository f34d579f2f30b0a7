"""Frame extraction end to end: "extractFrames" from the runtime service stand-in through the
simulated CAD application's command line and back, on drawings written by ezdxf, with the
command-line summaries in each language."""

import json
import os
import sys

from conftest import exec_ok, use_language, wait_ready

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "frames"))
import make_frame_drawings  # noqa: E402


def test_model_space_answers_schema_two(standin, cad_factory, tmp_path):
    path = str(tmp_path / "small.dwg")
    make_frame_drawings.small(path)
    cad = cad_factory(path)
    wait_ready(standin, path)
    for params in ('"model"', ""):  # an empty value reads as model space
        mark = cad.mark()
        fixture = json.loads(exec_ok(standin, "extractFrames", params))
        assert fixture["SchemaVersion"] == 2 and fixture["DrawingFileName"] == "small.dwg"
        assert fixture["Settings"]["MaximumEntityLevel"] == 3
        assert fixture["RecognitionInput"] == {
            "HorizontalLines": [{"StartPoint": {"X": 0, "Y": 0}, "EndPoint": {"X": 420, "Y": 0}}],
            "VerticalLines": [{"StartPoint": {"X": 0.1, "Y": 0}, "EndPoint": {"X": 0.1, "Y": 297}}],
            "PolylineBounds": [{"MinPoint": {"X": 0, "Y": 0}, "MaxPoint": {"X": 420, "Y": 297}}],
        }
        cad.wait_output(lambda line: line == "[Orvik] Schema 2 input collected: H=1, V=1, PolylineBounds=1.",
                        since=mark)
    assert cad.quit() == 0


def test_layouts_answer_their_own_frames(standin, cad_factory, tmp_path):
    path = str(tmp_path / "frames.dwg")
    make_frame_drawings.frames(path)
    cad = cad_factory(path)
    wait_ready(standin, path)

    def extract_paper(layout):
        assert exec_ok(standin, "switchSpace", json.dumps(layout, ensure_ascii=False)) == "OK"
        return exec_ok(standin, "extractFrames", '"paper"')

    summaries = [
        ("zh-CN", "[Orvik] \u5e03\u5c40\u89e3\u6790\u5b8c\u6210\uff1a\u5df2\u8fd4\u56de 1 \u4e2a\u56fe\u6846\u3002"),
        ("zh-TW", "[Orvik] \u914d\u7f6e\u89e3\u6790\u5b8c\u6210\uff1a\u5df2\u50b3\u56de 1 \u500b\u5716\u6846\u3002"),
        ("en-US", "[Orvik] Layout extraction completed: 1 frame(s) returned."),
    ]
    for locale, summary in summaries:
        use_language(standin, locale)
        mark = cad.mark()
        assert extract_paper("Layout1") == "R;0.0000;0.0000;420.0000;297.0000;Layout1\n"
        cad.wait_output(lambda line: line == summary, since=mark)

    mark = cad.mark()
    assert extract_paper("Layout2") == "None"
    cad.wait_output(lambda line: line == "[Warning] The current layout contains no matching frame entities.",
                    since=mark)

    # Names the host would read as patterns select only their own layout's entities.
    assert extract_paper("Sheet #2") == "R;1.0000;1.0000;101.0000;51.0000;Sheet #2\n"
    assert extract_paper("~Draft") == "R;5.0000;5.0000;105.0000;55.0000;~Draft\n"
    assert extract_paper("A [rev]") == "R;7.0000;7.0000;107.0000;57.0000;A [rev]\n"
    chinese = "\u56fe\u7eb8" * 25
    assert extract_paper(chinese) == "R;9.0000;9.0000;109.0000;59.0000;%s\n" % chinese
    assert cad.selection_counts() == (0, 0)
    assert cad.quit() == 0
