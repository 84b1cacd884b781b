"""norik-serve in a real browser: headless chromium driven by selenium, on the hostile test base.

    serve_browser_test.py BUILD_DIR

Exits 77 (skipped) when chromium, its driver or selenium is not there.
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import base64

sys.path.insert(0, os.path.dirname(__file__))
import serve_fixture  # noqa: E402

try:
    from selenium import webdriver
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    # Debian's selenium is installed for the system's Python.
    if os.path.exists('/usr/bin/python3') and os.path.realpath(sys.executable) != os.path.realpath('/usr/bin/python3'):
        os.execv('/usr/bin/python3', ['/usr/bin/python3'] + sys.argv)
    print('selenium is not installed: skipped')
    sys.exit(77)

if not shutil.which('chromedriver') or not (shutil.which('chromium') or shutil.which('chromium-browser')):
    print('chromium or chromedriver is not installed: skipped')
    sys.exit(77)

failures = []


def check(condition, what):
    print(('ok   ' if condition else 'FAIL ') + what)
    if not condition:
        failures.append(what)


def section_chain(server, section):
    """The ids from the top of the classifier down to section."""
    classifier = json.loads(server.get('/api/classifier')[2])
    parents = {s['id']: s['parent'] for s in classifier['sections']}
    chain = [section]
    while parents.get(chain[-1], 0) != 0 and len(chain) < 20:
        chain.append(parents[chain[-1]])
    return list(reversed(chain))


def main():
    server = serve_fixture.Server(sys.argv[1], documents=60)
    profile = tempfile.mkdtemp(prefix='norik-chromium-')
    options = webdriver.ChromeOptions()
    for argument in ('--headless=new', '--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage',
                     '--user-data-dir=' + profile, '--window-size=1280,900'):
        options.add_argument(argument)
    driver = None
    try:
        server.wait_for_index()
        driver = webdriver.Chrome(options=options)
        wait = WebDriverWait(driver, 20)
        url = server.url
        document = json.loads(server.get('/api/doc/1')[2])
        chain = section_chain(server, document['sections'][0])

        # Home, down the classifier to the document's section.
        driver.get(url + '/')
        check(driver.find_element(By.TAG_NAME, 'h1').text == 'Классификатор документов', 'home page')
        for section in chain:
            driver.find_element(By.CSS_SELECTOR, 'main a[href="/section/%d"]' % section).click()
            wait.until(lambda d: d.current_url.endswith('/section/%d' % section))
        check(driver.find_elements(By.CSS_SELECTOR, 'table.list tbody tr'), 'section lists its documents')

        # Sort by date: oldest first, then newest first.
        driver.find_element(By.CSS_SELECTOR, 'th a[href*="sort=date"]').click()
        wait.until(lambda d: 'sort=date' in d.current_url)
        dates = [row.text for row in driver.find_elements(By.CSS_SELECTOR, 'table.list tbody tr td:first-child')]
        keys = [tuple(reversed(d.split('.'))) for d in dates if re.match(r'\d\d\.\d\d\.\d{4}', d)]
        check(keys == sorted(keys) or keys == sorted(keys, reverse=True), 'sorted by date: %s' % dates[:5])

        # Open the document, follow its link, come back.
        driver.find_element(By.CSS_SELECTOR, 'table.list a[href="/doc/1"]').click()
        wait.until(lambda d: d.current_url.endswith('/doc/1'))
        check('<script>' in driver.find_element(By.ID, 'doc-title').text, 'the hostile title shows as text')
        check(driver.execute_script('return window.__norikAlert === undefined && document.scripts.length === 1'),
              'no script of the base ran or was inserted')
        driver.find_element(By.CSS_SELECTOR, '.text a[href="/doc/2"]').click()
        wait.until(lambda d: d.current_url.endswith('/doc/2'))
        check(driver.find_element(By.ID, 'doc-title').text != '', 'followed the link to document 2')
        driver.back()
        wait.until(lambda d: d.current_url.endswith('/doc/1'))
        check(True, 'back to document 1')

        # Search a word in another form; open a hit and see the words marked.
        box = driver.find_element(By.ID, 'q')
        box.clear()
        box.send_keys('налогами', Keys.ENTER)
        wait.until(lambda d: '/search' in d.current_url)
        count = driver.find_element(By.CSS_SELECTOR, 'p.count').text
        check(re.search(r'Найдено документов: [1-9]', count) is not None, 'search found: ' + count)
        hits = driver.find_elements(By.CSS_SELECTOR, 'ol.hits > li > a')
        check(len(hits) > 0 and len(hits) <= 20, '%d hits on the first page' % len(hits))
        search_url = driver.current_url
        hits[0].click()
        wait.until(lambda d: 'hl=' in d.current_url)
        marks = driver.find_elements(By.CSS_SELECTOR, 'mark[id^="hl-"]')
        check(len(marks) > 0, '%d found words marked in the document' % len(marks))
        buttons = driver.find_elements(By.CSS_SELECTOR, 'nav.highlights button')
        if len(buttons) == 2:
            buttons[1].click()
            check('current' in marks[0].get_attribute('class'), 'next found word')
        else:
            check(False, 'next/previous buttons')

        # Filter by year.
        driver.get(search_url)
        year = driver.find_element(By.XPATH, '//aside//section[h2="Год"]//a')
        year_text = year.text
        year.click()
        wait.until(lambda d: 'year=' in d.current_url)
        metas = [m.text for m in driver.find_elements(By.CSS_SELECTOR, 'ol.hits .meta')]
        check(metas and all(year_text in m for m in metas), 'filtered by year %s: %d hits' % (year_text, len(metas)))

        # Print the longest document to PDF; its pages are numbered.
        longest = max(range(2, 61), key=lambda n: len(server.get('/doc/%d/text' % n)[2]))
        driver.get(url + '/doc/%d' % longest)
        pdf = base64.b64decode(driver.execute_cdp_cmd('Page.printToPDF', {'printBackground': False})['data'])
        folder = tempfile.mkdtemp()
        with open(os.path.join(folder, 'page.pdf'), 'wb') as f:
            f.write(pdf)
        text = subprocess.run(['pdftotext', os.path.join(folder, 'page.pdf'), '-'], capture_output=True,
                              text=True).stdout
        shutil.rmtree(folder)
        numbers = re.findall(r'Страница (\d+) из (\d+)', text)
        check(len(numbers) >= 2 and numbers[0] == ('1', numbers[0][1]), 'PDF page numbers: %s' % numbers[:3])
        title = json.loads(server.get('/api/doc/%d' % longest)[2])['title']
        check(text.count(title[:30]) >= 2, 'the title on each printed page')

        # Keyboard only: from the home page to a section and a document.
        driver.get(url + '/')
        actions = ActionChains(driver)
        target = '/section/%d' % chain[0]
        for _ in range(200):
            actions.send_keys(Keys.TAB).perform()
            if (driver.switch_to.active_element.get_attribute('href') or '').endswith(target):
                break
        actions.send_keys(Keys.ENTER).perform()
        wait.until(lambda d: d.current_url.endswith(target))
        check(True, 'keyboard: home to a section')
        for _ in range(300):
            actions.send_keys(Keys.TAB).perform()
            if '/section/' in (driver.switch_to.active_element.get_attribute('href') or '') and \
                    driver.switch_to.active_element.get_attribute('href').endswith('/section/%d' % chain[1]):
                break
        actions.send_keys(Keys.ENTER).perform()
        wait.until(lambda d: d.current_url.endswith('/section/%d' % chain[1]))
        check(True, 'keyboard: down the classifier')
    finally:
        if driver is not None:
            driver.quit()
        shutil.rmtree(profile, ignore_errors=True)
        code = server.stop()
    check(code == 0, 'norik-serve stopped cleanly')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
