// Opens one test page in a headless Chromium and prints what it reported (window.__result) as one
// line of JSON; the page's console and uncaught errors go to stderr. Elements a page names in
// window.__screenshots ([{selector, name}]) are saved as NAME.png in $VELMARIS_SCREENS once it has
// reported, each path printed to stderr.
//
//   node open_page.mjs URL TIMEOUT_SECONDS
import puppeteer from "puppeteer-core";
import {mkdirSync} from "node:fs";
import path from "node:path";

const [url, seconds] = process.argv.slice(2);
const timeout = Number(seconds || 60) * 1000;

const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
  headless: true,
  // As root Chromium refuses its sandbox; the pages are our own.
  args: ["--no-sandbox", "--no-first-run", "--disable-gpu"],
});
let result;
try {
  const page = await browser.newPage();
  page.on("console", (message) => process.stderr.write(`console.${message.type()}: ${message.text()}\n`));
  page.on("pageerror", (error) => process.stderr.write(`page error: ${error.message}\n`));
  await page.goto(url, {waitUntil: "load", timeout});
  await page.waitForFunction(() => window.__result !== undefined, {timeout, polling: 50});
  result = await page.evaluate(() => window.__result);
  const wanted = await page.evaluate(() => window.__screenshots || []);
  const folder = process.env.VELMARIS_SCREENS;
  if (wanted.length > 0 && folder) mkdirSync(folder, {recursive: true});
  for (const {selector, name} of folder ? wanted : []) {
    const element = await page.$(selector);
    if (element === null) {
      result = {ok: false, error: `screenshot ${name}: nothing matches ${selector}`};
      break;
    }
    const file = path.join(folder, `${name}.png`);
    await element.screenshot({path: file});
    process.stderr.write(`screenshot: ${file}\n`);
  }
} catch (error) {
  result = {ok: false, error: `the page did not report: ${error.message}`};
} finally {
  await browser.close();
}
process.stdout.write(JSON.stringify(result) + "\n");
