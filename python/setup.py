"""The wheel carries the library (libmfb.so, or MFB.dll), so it is tagged for this platform; the
package itself is plain Python and runs on any Python 3 from 3.9: py3-none-<platform>."""

from setuptools import setup
from wheel.bdist_wheel import bdist_wheel


class PlatformWheel(bdist_wheel):
    def finalize_options(self):
        super().finalize_options()
        self.root_is_pure = False

    def get_tag(self):
        return "py3", "none", super().get_tag()[2]


setup(cmdclass={"bdist_wheel": PlatformWheel})
