"""The Python module against the converter and the checker themselves."""

import math
import os
import subprocess
import sys
import warnings

import numpy as np
import pytest

import convert_time_pressure as ctp

CONVERTER = os.environ.get("CTP_CONVERTER", "convert_time_pressure")
CHECKER = os.environ.get("CTP_CHECKER", "check_time_pressure")
SOURCE = os.path.join(os.path.dirname(__file__), "..", "..")
DAY = "2020-01-01 00:00:00\t1.01\n2020-01-01 00:00:01\t1.02\n"


def lf(x):
    """A double as the converter's "%lf" prints it, with the sign of a NaN."""
    return ("-nan" if math.copysign(1, x) < 0 else "nan") if math.isnan(x) else "%f" % x


def converted(path, count):
    out = path + ".dat"
    subprocess.run([CONVERTER, path, out, str(count)], capture_output=True)
    with open(out, "rb") as f:
        return f.read().decode("latin-1")


def as_text(r):
    return "".join(lf(t) + "    " + lf(v) + "\n" for t, v in zip(r.elapsed_s, r.value))


def file_with(tmp_path, text, name="in.txt"):
    path = tmp_path / name
    path.write_bytes(text.encode("latin-1") if isinstance(text, str) else text)
    return str(path)


def test_sample_as_the_converter_prints_it():
    r = ctp.read(os.path.join(SOURCE, "examples", "readings.txt"))
    with open(os.path.join(SOURCE, "examples", "pressure.txt")) as f:
        assert as_text(r) == f.read()
    assert r.first == np.datetime64("2020-02-29T22:30:00")


# Clean files and lossy ones: the same values as the converter's lines, the checker's report,
# and for a lost reading, its line and column in the exception.
CASES = {
    "across_windows": "".join(
        "2020-03-%02d %02d:%02d:%02d\t%s\n"
        % (1 + i // 86400, i // 3600 % 24, i // 60 % 60, i % 60, "-nan" if i % 65536 == 0 else "1e-3")
        for i in range(2 * 65536 + 3)),
    "header": "time\tpressure\n" + DAY,
    "power_cut": "2020-01-01 00:00:00\n" + DAY,
    "power_cut_crlf": "2020-01-01 00:00:00\r\n2020-01-01 00:00:01\t1\r\n",
    "second_column": "2020-01-01 00:00:00\t1.01\t21.5\n" + DAY,
    "decimal_comma": "2020-01-01 00:00:00\t1,01\n",
    "byte_order_mark": "\xef\xbb\xbf" + DAY,
    "month_13": DAY + "2020-13-01 00:00:00\t1\n",
    "step_back": DAY + "2020-01-01 00:00:00\t1.03\n",
    "no_last_line_feed": "\n" + DAY + "\n2020-01-01 00:00:02\t1",
    "nan_signs": "2020-01-01 00:00:00\tnan\n2020-01-01 00:-nan:00\t-nan\n2020-01-01 inf:-inf:0\t1\n",
}
SEEDS = os.path.join(SOURCE, "tests", "fuzz_seeds")


@pytest.mark.parametrize("name", sorted(CASES) + ["seed:" + s for s in sorted(os.listdir(SEEDS))])
def test_as_the_converter_and_the_checker(tmp_path, name):
    if name.startswith("seed:"):
        with open(os.path.join(SEEDS, name[5:]), "rb") as f:
            path = file_with(tmp_path, f.read())
    else:
        path = file_with(tmp_path, CASES[name])
    found = ctp.check(path)
    checker = subprocess.run([CHECKER, path], capture_output=True, text=True, errors="replace")
    assert (found["report"], found["status"]) == (checker.stdout, checker.returncode)
    count = max(found["readings"], 1)
    assert as_text(ctp.read(path, count, errors="ignore")) == converted(path, count)
    windows = list(ctp.read_windows(path, errors="ignore"))
    assert as_text(ctp.read(path, errors="ignore")) == "".join(as_text(w) for w in windows)
    if found["lost"]:
        with pytest.raises(ctp.LostReadings) as lost:
            ctp.read(path)
        first = found["first_lost"]
        assert (lost.value.line, lost.value.column) == (first["line"], first["column"])
        assert "line %d, column %d" % (first["line"], first["column"]) in str(lost.value)


def test_count_past_the_end_in_each_errors_form(tmp_path):
    path = file_with(tmp_path, DAY)
    with pytest.raises(ValueError, match="reading 3 lies past the end of the file"):
        ctp.read(path, 3)
    with pytest.warns(UserWarning, match="readings lost: 1 of 3"):
        r = ctp.read(path, 3, errors="warn")
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        assert as_text(ctp.read(path, 3, errors="ignore")) == as_text(r) == converted(path, 3)
    assert ctp.read(path, 0).elapsed_s.size == 0
    with pytest.raises(ValueError, match="errors must be"):
        ctp.read(path, errors="strict")


def test_errors_a_python_user_expects(tmp_path):
    with pytest.raises(FileNotFoundError):
        ctp.read(tmp_path / "absent.txt")
    with pytest.raises(IsADirectoryError):
        ctp.read(tmp_path)
    for not_a_path in (42, None, [b"x"]):
        with pytest.raises(TypeError):
            ctp.read(not_a_path)
    assert ctp.read(file_with(tmp_path, "")).first is None
    # Under an address-space limit: a number too long for the memory left, and a count.
    path = file_with(tmp_path, "2020-01-01 00:00:00\t" + "1" * 100_000_000 + "\n")
    limited = subprocess.run([sys.executable, "-c", """if True:
        import resource, sys, convert_time_pressure as ctp
        size = int(open("/proc/self/status").read().split("VmSize:")[1].split()[0]) * 1024
        resource.setrlimit(resource.RLIMIT_AS, (size + (64 << 20), resource.RLIM_INFINITY))
        for count in (None, 10**12):
            try:
                ctp.read(sys.argv[1], count)
            except MemoryError as e:
                print(e)""", path], capture_output=True, text=True)
    assert limited.stdout.splitlines() == [
        "not enough memory to read %s: a number of millions of digits" % path,
        "not enough memory for 1000000000000 readings"], limited.stderr
