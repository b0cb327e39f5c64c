import os

import pytest

SOURCE = os.environ.get("TMX5_SOURCE_DIR", os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))


@pytest.fixture(scope="session")
def tmx5_binary():
    path = os.environ.get("TMX5_BINARY", os.path.join(SOURCE, "build", "host", "tmx5"))
    assert os.access(path, os.X_OK), "no tmx5 program at %s (TMX5_BINARY)" % path
    return path


@pytest.fixture(scope="session")
def source_dir():
    return SOURCE


def python_env():
    """The environment for a child python3 that imports this same tmx5 package."""
    import tmx5

    env = dict(os.environ)
    here = os.path.dirname(os.path.dirname(os.path.abspath(tmx5.__file__)))
    env["PYTHONPATH"] = os.pathsep.join([here] + [p for p in env.get("PYTHONPATH", "").split(os.pathsep) if p])
    return env
