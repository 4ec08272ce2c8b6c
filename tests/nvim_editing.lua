-- Neovim's side of the editing test: the shipped configuration starts
-- `scenarioc lsp` for the source on the command line; the script waits for
-- the diagnostic SCENARIO_CODE, applies the quick fix offered on its line
-- (SCENARIO_LINE, 1-based), formats the buffer, waits for the diagnostic
-- to clear and asks for the inlay hints (Neovim 0.7 shows none itself),
-- then writes what it saw as JSON to SCENARIO_NVIM_OUT and quits without
-- saving.
local out = os.getenv('SCENARIO_NVIM_OUT')
local code = os.getenv('SCENARIO_CODE')

local function finish(text)
  local f = assert(io.open(out, 'w'))
  f:write(text)
  f:close()
  vim.cmd('qa!')
end

if vim.lsp == nil or vim.diagnostic == nil or vim.ui == nil then
  finish('skip: this Neovim has no LSP client with vim.diagnostic')
  return
end

dofile(os.getenv('SCENARIO_SOURCE_DIR') .. '/editors/neovim/scenario.lua')
  .setup({ cmd = { os.getenv('SCENARIOC'), 'lsp' } })

local function has_code()
  for _, d in ipairs(vim.diagnostic.get(0)) do
    if d.code == code then return true end
  end
  return false
end

vim.api.nvim_create_autocmd('VimEnter', {
  callback = function()
    local seen = vim.wait(20000, has_code, 20)
    -- The quick fix: the first action offered is taken.
    vim.ui.select = function(items, _, on_choice) on_choice(items[1], 1) end
    local row = tonumber(os.getenv('SCENARIO_LINE'))
    local before = vim.api.nvim_buf_get_lines(0, row - 1, row, false)[1]
    vim.api.nvim_win_set_cursor(0, { row, 0 })
    vim.lsp.buf.code_action({ only = { 'quickfix' } })
    local fixed = vim.wait(10000, function()
      return vim.api.nvim_buf_get_lines(0, row - 1, row, false)[1] ~= before
    end, 20)
    if vim.lsp.buf.format then
      vim.lsp.buf.format({ timeout_ms = 10000 })
    else
      vim.lsp.buf.formatting_sync(nil, 10000)
    end
    local mended = vim.wait(20000, function() return not has_code() end, 20)
    local lines = vim.api.nvim_buf_get_lines(0, 0, -1, false)
    local answers = vim.lsp.buf_request_sync(0, 'textDocument/inlayHint', {
      textDocument = vim.lsp.util.make_text_document_params(),
      range = { start = { line = 0, character = 0 },
                ['end'] = { line = #lines, character = 0 } },
    }, 10000) or {}
    local hints = 0
    for _, answer in pairs(answers) do
      hints = hints + #(answer.result or {})
    end
    finish(vim.fn.json_encode({
      seen = seen, fixed = fixed, mended = mended, hints = hints,
      text = table.concat(lines, '\n'),
    }))
  end,
})
