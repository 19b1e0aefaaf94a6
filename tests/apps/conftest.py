"""pytest options for the command-line tools' Python tests."""


def pytest_addoption(parser):
    parser.addoption("--tool", action="store", help="path of the program under test")
