"""A small base with hostile texts, built by norik-tool, and norik-serve started on it.

The base is the sample generator's source of 40 documents with these changes: document 1's title,
type and section name carry markup, quotes and script; its text carries markup, a right-to-left
override, a javascript: link, a link to a foreign site and a link to document 2. The server runs on
a free loopback port with its own cache folder, so it builds the full-text index in the
background as it does for a base without one.
"""
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
import urllib.request

HOSTILE_TITLE = '<script>alert("t")</script> "Кавычки" & \'апостроф\' <img src=x onerror=alert(1)>'
HOSTILE_SECTION = '<b onmouseover=alert(2)>Раздел</b>'
HOSTILE_TYPE = '"><script>alert(3)</script>'
HOSTILE_RTF = (r'{\rtf1\ansi\ansicpg1251 {\b Статья 1. <script>alert(4)</script>}\par '
               r'Текст \u8238?evil\u8237? налог "quoted" <iframe src=javascript:alert(5)>\par '
               r'{\field{\*\fldinst HYPERLINK "javascript:alert(6)"}{\fldrslt script link}} '
               r'{\field{\*\fldinst HYPERLINK "http://evil.example/"}{\fldrslt foreign}} '
               r'{\field{\*\fldinst HYPERLINK "2"}{\fldrslt second document}}\par}')


class Server:
    def __init__(self, build, documents=40):
        self.build = build
        self.tool = os.path.join(build, 'norik-tool')
        self.serve = os.path.join(build, 'norik-serve')
        self.root = tempfile.mkdtemp(prefix='norik-serve-test-')
        source = os.path.join(self.root, 'source')
        self.base = os.path.join(self.root, 'base')
        subprocess.run([self.tool, 'sample', source, '--documents', str(documents), '--source'], check=True,
                       stdout=subprocess.DEVNULL)
        self._make_hostile(source)
        subprocess.run([self.tool, 'build', source, self.base], check=True, stdout=subprocess.DEVNULL)
        env = dict(os.environ, XDG_CACHE_HOME=os.path.join(self.root, 'cache'),
                   XDG_STATE_HOME=os.path.join(self.root, 'state'))
        self.log = os.path.join(self.root, 'access.log')
        self.process = subprocess.Popen([self.serve, '--base', self.base, '--listen', '127.0.0.1:0',
                                         '--access-log', self.log, '--threads', '2'],
                                        stderr=subprocess.PIPE, env=env, text=True)
        line = self.process.stderr.readline()
        match = re.search(r'at (http://127\.0\.0\.1:\d+)/', line)
        if not match:
            self.stop()
            raise RuntimeError('norik-serve did not start: ' + line)
        self.url = match.group(1)

    @staticmethod
    def _make_hostile(source):
        def rewrite(name, change):
            path = os.path.join(source, name)
            with open(path, encoding='cp1251') as f:
                lines = f.read().split('\n')
            with open(path, 'w', encoding='cp1251', newline='') as f:
                f.write('\n'.join(change(lines)))

        def items(lines):
            out = [lines[0]]
            for line in lines[1:]:
                head, _, rest = line.partition(' ')
                if head == '1' and '|' in rest:
                    numbers, _, fields = rest.partition(' ')
                    numbers = numbers + ' ' + fields.split(' ', 1)[0]
                    parts = line.split('|')
                    first = parts[0].split(' ', 3)
                    parts[0] = ' '.join(first[:3]) + ' ' + HOSTILE_TYPE
                    parts[1] = HOSTILE_TITLE
                    line = '|'.join(parts)
                out.append(line)
            return out

        def classes(lines):
            out = [lines[0]]
            for line in lines[1:]:
                parts = line.split(' ', 3)
                if len(parts) == 4 and parts[0] == '1':
                    line = ' '.join(parts[:3]) + ' ' + parts[3][0] + HOSTILE_SECTION
                out.append(line)
            return out

        rewrite('Items.ttx', items)
        rewrite('typelist.ttx', lambda lines: lines[:-1] + [HOSTILE_TYPE, ''] if lines[-1] == '' else lines + [HOSTILE_TYPE])
        rewrite('class.ttx', classes)
        with open(os.path.join(source, 'texts', '000001.rtf'), 'w', encoding='cp1251') as f:
            f.write(HOSTILE_RTF)

    def get(self, path, headers=None, method='GET'):
        """(status, headers, body bytes) of a request; errors are answers too."""
        request = urllib.request.Request(self.url + path, headers=headers or {}, method=method)
        try:
            with urllib.request.urlopen(request, timeout=30) as answer:
                return answer.status, answer.headers, answer.read()
        except urllib.error.HTTPError as error:
            return error.code, error.headers, error.read()

    def wait_for_index(self, seconds=120):
        deadline = time.time() + seconds
        while time.time() < deadline:
            status, _, body = self.get('/api/info')
            if status == 200 and '"fullTextIndex":"готов"' in body.decode():
                return
            time.sleep(0.3)
        raise RuntimeError('the full-text index was not built in time')

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                self.process.kill()
        code = self.process.returncode if self.process else None
        shutil.rmtree(self.root, ignore_errors=True)
        return code
