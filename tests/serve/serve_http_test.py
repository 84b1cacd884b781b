"""norik-serve over loopback with Python's HTTP client, on a base with hostile texts.

    serve_http_test.py BUILD_DIR
"""
import gzip
import html.parser
import json
import os
import socket
import sys
import time
import unittest
import urllib.parse

sys.path.insert(0, os.path.dirname(__file__))
import serve_fixture  # noqa: E402

SERVER = None

# What the pages may hold: these elements, these attributes, URLs of the server's own.
ELEMENTS = {'html', 'head', 'meta', 'title', 'link', 'script', 'body', 'a', 'header', 'form', 'label', 'input',
            'datalist', 'option', 'button', 'nav', 'main', 'footer', 'p', 'h1', 'h2', 'h3', 'h4', 'h5', 'h6', 'ul',
            'ol', 'li', 'span', 'table', 'caption', 'thead', 'tbody', 'tr', 'th', 'td', 'dl', 'dt', 'dd', 'article',
            'div', 'b', 'i', 'u', 's', 'sup', 'sub', 'br', 'img', 'mark', 'aside', 'section', 'strong', 'select',
            'fieldset', 'legend', 'style'}
ATTRIBUTES = {'lang', 'charset', 'name', 'content', 'rel', 'href', 'type', 'title', 'src', 'defer', 'class', 'role',
              'action', 'method', 'for', 'id', 'value', 'autocomplete', 'list', 'maxlength', 'aria-label',
              'tabindex', 'style', 'scope', 'aria-sort', 'aria-hidden', 'aria-current', 'start', 'colspan',
              'rowspan', 'alt', 'width', 'height', 'readonly', 'size', 'download', 'aria-labelledby', 'selected',
              'checked', 'placeholder', 'data-print-title'}


class MarkupCheck(html.parser.HTMLParser):
    """Collects every element, attribute and URL that is not the server's own."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.foreign = []
        self.scripts = []

    def handle_starttag(self, tag, attrs):
        if tag not in ELEMENTS:
            self.foreign.append('<' + tag + '>')
        for name, value in attrs:
            if name not in ATTRIBUTES:
                self.foreign.append(tag + ' ' + name)
            if name in ('href', 'src', 'action') and value is not None:
                if not (value.startswith('/') and not value.startswith('//')) and not value.startswith('#'):
                    self.foreign.append(tag + ' ' + name + '=' + value)
            if name == 'style' and value is not None and ('url(' in value or 'expression' in value):
                self.foreign.append(tag + ' style=' + value)
        if tag == 'script':
            self.scripts.append(dict(attrs).get('src'))

    def handle_data(self, data):
        for control in '\u202a\u202b\u202c\u202d\u202e\u2066\u2067\u2068\u2069':
            if control in data:
                self.foreign.append('bidi control in text')


def check_markup(test, body, where):
    checker = MarkupCheck()
    checker.feed(body)
    test.assertEqual(checker.foreign, [], where)
    test.assertTrue(all(src == '/static/app.js' for src in checker.scripts), where)


class Pages(unittest.TestCase):
    PAGES = [
        # path, status, a text the answer holds
        ('/', 200, 'Классификатор документов'),
        ('/section/53', 200, 'Налоги и сборы'),
        ('/section/56', 200, 'всего:'),
        ('/section/56?sort=title&order=desc&page=1', 200, 'aria-sort="descending"'),
        ('/section/99999', 404, 'Такого раздела нет'),
        ('/doc/1', 200, 'href="/doc/2"'),
        ('/doc/2', 200, 'Ссылки на документ'),
        ('/doc/2/cited-by', 200, 'href="/doc/1"'),
        ('/doc/1/text', 200, 'second document'),
        ('/doc/1/rtf', 200, '{\\rtf1'),
        ('/doc/1/picture/1', 404, 'рисунка'),
        ('/doc/30000', 404, 'Документа нет в базе'),
        ('/search?q=налогами', 200, 'Найдено документов:'),
        ('/search?q=налог&status=in-force', 200, 'Снять фильтр'),
        ('/search?q=', 200, 'Быстрый поиск'),
        ('/search?q=налогг', 200, 'Возможно, вы имели в виду'),
        ('/find', 200, 'Слова названия'),
        ('/find?title=налог&go=1', 200, 'Найденные документы'),
        ('/find?go=1', 200, 'Не заданы реквизиты поиска!'),
        ('/find?from=31.02.2020&go=1', 200, 'не понята'),
        ('/info', 200, 'Документов:'),
        ('/opensearch.xml', 200, '/search?q={searchTerms}'),
        ('/suggest?q=налог', 200, '["налог",['),
        ('/static/style.css', 200, '@media print'),
        ('/static/app.js', 200, 'suggest'),
        ('/api/info', 200, '"documents":40'),
        ('/api/classifier', 200, '"sections":'),
        ('/api/section/56', 200, '"documents":'),
        ('/api/doc/1', 200, '"outline":'),
        ('/api/doc/2/cited-by', 200, '"number":1'),
        ('/api/search?q=налог&page=1', 200, '"total":'),
        ('/api/find?title=налог', 200, '"total":'),
        ('/no/such/page', 404, 'Такой страницы нет'),
        ('/static/../data/Items.ttx', 404, ''),
    ]

    def test_every_page_answers_with_its_status_and_content(self):
        for path, status, text in self.PAGES:
            with self.subTest(path=path):
                got, headers, body = SERVER.get(urllib.parse.quote(path, safe='/?&=:{}'))
                self.assertEqual(got, status)
                self.assertIn(text, body.decode('utf-8', 'replace'))
                self.assertEqual(headers['X-Content-Type-Options'], 'nosniff')
                self.assertIn("script-src 'self'", headers['Content-Security-Policy'])
                self.assertEqual(headers['Referrer-Policy'], 'same-origin')
                if headers['Content-Type'].startswith('text/html'):
                    check_markup(self, body.decode(), path)

    def test_search_counts_every_match_and_pages_them(self):
        _, _, body = SERVER.get('/api/search?q=' + urllib.parse.quote('налог'))
        first = json.loads(body)
        self.assertGreater(first['total'], 0)
        self.assertEqual(first['total'], first['filtered'])
        numbers = set()
        for page in range(1, first['pages'] + 1):
            _, _, body = SERVER.get('/api/search?q=%s&page=%d' % (urllib.parse.quote('налог'), page))
            numbers |= {hit['number'] for hit in json.loads(body)['hits']}
        self.assertEqual(len(numbers), first['total'])
        # A facet's counts add up to the matches, and filtering by one value gives its count.
        statuses = first['facets']['status']
        self.assertEqual(sum(statuses.values()), first['total'])
        _, _, body = SERVER.get('/api/search?q=%s&status=in-force' % urllib.parse.quote('налог'))
        self.assertEqual(json.loads(body)['filtered'], statuses.get('in-force', 0))

    def test_found_words_are_marked_in_the_document(self):
        _, _, body = SERVER.get('/doc/1?hl=' + urllib.parse.quote('налогами'))
        self.assertIn('<mark id="hl-1">налог</mark>', body.decode())


class Protocol(unittest.TestCase):
    def test_second_visit_costs_a_304(self):
        status, headers, body = SERVER.get('/doc/2')
        self.assertEqual(status, 200)
        etag = headers['ETag']
        self.assertTrue(etag)
        status, _, body = SERVER.get('/doc/2', {'If-None-Match': etag})
        self.assertEqual((status, body), (304, b''))
        status, _, _ = SERVER.get('/doc/2', {'If-Modified-Since': headers['Last-Modified']})
        self.assertEqual(status, 304)
        # Answers that depend on the index are never taken from a cache.
        status, headers, _ = SERVER.get('/search?q=x', {'If-None-Match': etag})
        self.assertEqual(status, 200)
        self.assertEqual(headers['Cache-Control'], 'no-store')

    def test_gzip_when_accepted(self):
        _, plain_headers, plain = SERVER.get('/doc/2')
        status, headers, packed = SERVER.get('/doc/2', {'Accept-Encoding': 'gzip'})
        self.assertEqual(headers['Content-Encoding'], 'gzip')
        self.assertEqual(gzip.decompress(packed), plain)
        self.assertNotEqual(headers['ETag'], plain_headers['ETag'])
        self.assertIsNone(plain_headers['Content-Encoding'])

    def test_only_get_and_head(self):
        for method in ('POST', 'PUT', 'DELETE', 'OPTIONS', 'PATCH'):
            status, headers, body = SERVER.get('/', method=method)
            self.assertEqual(status, 405, method)
            self.assertEqual(headers['Allow'], 'GET, HEAD')
            self.assertIn('405', body.decode())
        status, headers, body = SERVER.get('/doc/2', method='HEAD')
        self.assertEqual((status, body), (200, b''))

    def test_bad_requests_get_400_and_the_server_goes_on(self):
        for path in ('/search?q=%ZZ', '/search?q=%D0', '/doc/%00', '/search?q=a%0Ab',
                     '/search?' + '&'.join(['a=1'] * 40), '/search?q=' + 'a' * 5000):
            status, _, body = SERVER.get(path)
            self.assertEqual(status, 400, path[:40])
            self.assertIn('Неправильный запрос', body.decode())
        # A request line and headers past the connection's memory: refused, nothing else.
        where = urllib.parse.urlsplit(SERVER.url)
        with socket.create_connection((where.hostname, where.port), timeout=10) as raw:
            raw.sendall(b'GET / HTTP/1.1\r\nHost: x\r\nX-Big: ' + b'a' * 200000 + b'\r\n\r\n')
            answer = raw.recv(100)
            self.assertTrue(answer == b'' or int(answer.split()[1]) >= 400, answer)
        self.assertEqual(SERVER.get('/')[0], 200)

    def test_requests_are_logged_in_the_common_log_format(self):
        SERVER.get('/info?from=log')
        # The line is written once the answer has gone.
        for _ in range(50):
            with open(SERVER.log) as log:
                lines = log.read().splitlines()
            if any('from=log' in line for line in lines):
                break
            time.sleep(0.1)
        self.assertRegex([l for l in lines if 'from=log' in l][-1],
                         r'^127\.0\.0\.1 - - \[\d\d/\w{3}/\d{4}:\d\d:\d\d:\d\d [+-]\d{4}\] '
                         r'"GET /info\?from=log HTTP/1\.1" 200 \d+$')


class HostileBase(unittest.TestCase):
    def test_no_page_holds_markup_from_the_base(self):
        _, _, body = SERVER.get('/api/doc/1')
        section = json.loads(body)['sections'][0]
        for path in ('/', '/section/1', '/section/%d' % section, '/doc/1', '/doc/2/cited-by',
                     '/search?q=alert', '/search?q=' + urllib.parse.quote('"Кавычки"'),
                     '/find?title=' + urllib.parse.quote('Кавычки') + '&go=1', '/find'):
            with self.subTest(path=path):
                status, _, body = SERVER.get(path)
                self.assertEqual(status, 200)
                page = body.decode()
                check_markup(self, page, path)
                self.assertNotIn('evil.example', page)
        self.assertIn('&lt;script&gt;alert(&quot;t&quot;)', SERVER.get('/doc/1')[2].decode())

    def test_json_answers_carry_texts_as_strings(self):
        _, headers, body = SERVER.get('/api/doc/1')
        self.assertTrue(headers['Content-Type'].startswith('application/json'))
        document = json.loads(body)
        self.assertEqual(document['title'], serve_fixture.HOSTILE_TITLE)
        check_markup(self, document['html'], 'api html')


if __name__ == '__main__':
    SERVER = serve_fixture.Server(sys.argv.pop(1))
    try:
        SERVER.wait_for_index()
        result = unittest.main(exit=False).result
    finally:
        code = SERVER.stop()
    if code != 0:
        print('norik-serve ended with status', code)
    sys.exit(0 if result.wasSuccessful() and code == 0 else 1)
