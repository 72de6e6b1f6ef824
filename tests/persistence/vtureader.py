#!/usr/bin/env python3
"""Reads ".vtu" files written by the exporter back with VTK's own XML
unstructured-grid reader and compares them with the grid they came from.

Usage: vtureader.py PATH-TO-tst_exports

The Qt test program writes the sample files, each in ASCII ("NAME.vtu") and
in compressed binary ("NAME-binary.vtu"), and beside them an ".expected"
file: the grid extents on the first line, then one line per fluid cell with
x y z density vx vy vz at full precision, in the order of the exported cells.
The binary file must hold the exact values and agree with the ASCII one to
the ASCII file's six digits.
"""

import os
import subprocess
import sys
import tempfile

import vtk

SAMPLES = ["fluid2d", "nofluid", "walls2d", "walls3d", "blocks2d"]


class ErrorCatcher:
    """Collects the error and warning events of a VTK object."""

    def __init__(self, obj):
        self.messages = []
        obj.AddObserver("ErrorEvent", self.record)
        obj.AddObserver("WarningEvent", self.record)

    def record(self, _obj, event, *_):
        self.messages.append(event)


def close(written, value):
    # Six significant digits in the file.
    return abs(written - value) <= 5.01e-6 * max(abs(value), 1e-300)


def exact(written, value):
    return written == value


def read(path, problems):
    reader = vtk.vtkXMLUnstructuredGridReader()
    catcher = ErrorCatcher(reader)
    reader.SetFileName(path)
    reader.Update()
    if catcher.messages:
        problems.append("reader reported %s" % catcher.messages)
    return reader.GetOutput()


def same_values(ascii_path, binary_path):
    """The binary file's values rounded as the ASCII file writes them."""
    problems = []
    a = read(ascii_path, problems).GetCellData()
    b = read(binary_path, problems).GetCellData()
    for name, components in (("density", 1), ("velocity", 3)):
        x, y = a.GetArray(name), b.GetArray(name)
        if x is None or y is None or x.GetNumberOfTuples() != y.GetNumberOfTuples():
            problems.append("%s arrays differ in shape" % name)
            continue
        for i in range(x.GetNumberOfTuples()):
            for c in range(components):
                if not close(x.GetComponent(i, c), y.GetComponent(i, c)):
                    problems.append("%s %d: ascii %r, binary %r" % (name, i, x.GetComponent(i, c), y.GetComponent(i, c)))
                    break
    return problems


def check(path, expected_path, agree=close):
    problems = []
    with open(expected_path) as f:
        nx, ny, nz = (int(v) for v in f.readline().split())
        cells = [line.split() for line in f if line.strip()]

    grid = read(path, problems)

    points = (nx + 1) * (ny + 1) * (nz + 1)
    if grid.GetNumberOfPoints() != points:
        problems.append("points %d, expected %d" % (grid.GetNumberOfPoints(), points))
    if grid.GetNumberOfCells() != len(cells):
        problems.append("cells %d, expected %d" % (grid.GetNumberOfCells(), len(cells)))
        return problems

    data = grid.GetCellData()
    density = data.GetArray("density")
    velocity = data.GetArray("velocity")
    if density is None or velocity is None:
        return problems + ["density or velocity array missing"]
    if data.GetScalars() is None or data.GetScalars().GetName() != "density":
        problems.append("density is not the active scalar array")
    if data.GetVectors() is None or data.GetVectors().GetName() != "velocity":
        problems.append("velocity is not the active vector array")
    if density.GetNumberOfComponents() != 1 or density.GetNumberOfTuples() != len(cells):
        problems.append("density array has the wrong shape")
    if velocity.GetNumberOfComponents() != 3 or velocity.GetNumberOfTuples() != len(cells):
        problems.append("velocity array has the wrong shape")
        return problems

    for i, fields in enumerate(cells):
        x, y, z = (int(v) for v in fields[:3])
        rho, vx, vy, vz = (float(v) for v in fields[3:])
        if grid.GetCellType(i) != vtk.VTK_VOXEL:
            problems.append("cell %d is of type %d, not a voxel" % (i, grid.GetCellType(i)))
            continue
        cell = grid.GetCell(i)
        # VTK's voxel corner order: x varies fastest, then y, then z.
        for k in range(8):
            corner = grid.GetPoint(cell.GetPointId(k))
            want = (x + (k & 1), y + ((k >> 1) & 1), z + ((k >> 2) & 1))
            if tuple(int(round(c)) for c in corner) != want:
                problems.append("cell %d corner %d at %s, expected %s" % (i, k, corner, want))
        if not agree(density.GetValue(i), rho):
            problems.append("cell %d density %r, expected %r" % (i, density.GetValue(i), rho))
        for got, want in zip(velocity.GetTuple3(i), (vx, vy, vz)):
            if not agree(got, want):
                problems.append("cell %d velocity %r, expected %r" % (i, velocity.GetTuple3(i), (vx, vy, vz)))
                break
    return problems


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    with tempfile.TemporaryDirectory() as folder:
        env = dict(os.environ, ONDIX_VTU_SAMPLE_DIR=folder)
        run = subprocess.run([sys.argv[1], "writeSamplesForVtkReader"], env=env)
        if run.returncode != 0:
            print("writing the samples failed")
            return 1
        failed = False
        for name in SAMPLES:
            base = os.path.join(folder, name)
            ascii_path, binary_path = base + ".vtu", base + "-binary.vtu"
            if not os.path.exists(ascii_path) or not os.path.exists(binary_path):
                print("%s: no file written" % name)
                failed = True
                continue
            for label, path, agree in (("ascii", ascii_path, close), ("binary", binary_path, exact)):
                problems = check(path, base + ".expected", agree)
                if label == "binary":
                    problems += same_values(ascii_path, binary_path)
                for p in problems:
                    print("%s (%s): %s" % (name, label, p))
                print("%s (%s): %s" % (name, label,
                      "FAILED" if problems else "read back by VTK %s" % vtk.vtkVersion.GetVTKVersion()))
                failed = failed or bool(problems)
        return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
