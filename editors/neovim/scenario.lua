-- Neovim (0.7 or later) for the two sources of a scenario: a line source
-- NAME_linea.txt gets the file type "scenario_line", a train source
-- NAME_NUMBER-.txt the file type "scenario_train", and both are attached to
-- `scenarioc lsp`, which shows the check's diagnostics as you type, the
-- outline of a source, hover, completion, quick fixes, formatting, go to
-- definition and inlay hints (shown by this set-up where Neovim shows none
-- itself).
--
-- In init.lua:
--   dofile('/path/to/editors/neovim/scenario.lua').setup()
-- or, with this file copied to ~/.config/nvim/lua/scenario.lua:
--   require('scenario').setup({ cmd = { '/path/to/scenarioc', 'lsp' } })
local M = {}

local patterns = { '*_linea.txt', '*-.txt' }

local function directory_of(buf)
  return vim.fn.fnamemodify(vim.api.nvim_buf_get_name(buf), ':p:h')
end

-- Inlay hints (the cell, kilometre and slot of each position) for a Neovim
-- that does not show them itself (before 0.10): asked of the server for
-- the whole buffer and shown at the end of their lines as virtual text, in
-- the namespace "scenario_inlay_hints", asked again a moment after each
-- change.
M.hint_namespace = vim.api.nvim_create_namespace('scenario_inlay_hints')

local function label_of(hint)
  if type(hint.label) == 'string' then return hint.label end
  local parts = {}
  for _, part in ipairs(hint.label or {}) do table.insert(parts, part.value) end
  return table.concat(parts)
end

local function show_hints(client, buf)
  if not vim.api.nvim_buf_is_valid(buf) then return end
  local params = {
    textDocument = { uri = vim.uri_from_bufnr(buf) },
    range = { start = { line = 0, character = 0 },
              ['end'] = { line = vim.api.nvim_buf_line_count(buf),
                          character = 0 } },
  }
  client.request('textDocument/inlayHint', params, function(err, result)
    if err or not vim.api.nvim_buf_is_valid(buf) then return end
    local on_line = {}
    for _, hint in ipairs(result or {}) do
      local line = hint.position.line
      on_line[line] = (on_line[line] and on_line[line] .. '  ' or '  ')
        .. label_of(hint)
    end
    vim.api.nvim_buf_clear_namespace(buf, M.hint_namespace, 0, -1)
    local lines = vim.api.nvim_buf_line_count(buf)
    for line, text in pairs(on_line) do
      if line < lines then
        vim.api.nvim_buf_set_extmark(buf, M.hint_namespace, line, 0, {
          virt_text = { { text, 'Comment' } }, virt_text_pos = 'eol',
        })
      end
    end
  end, buf)
end

local function follow_hints(client, buf)
  if vim.lsp.inlay_hint then
    -- 0.10 and later show them themselves.
    pcall(vim.lsp.inlay_hint.enable, true, { bufnr = buf })
    return
  end
  -- Every change of the buffer, typed or made by the server's edits.
  local timer = nil
  vim.api.nvim_buf_attach(buf, false, {
    on_lines = function()
      if timer then
        timer:stop()
        timer:close()
      end
      timer = vim.defer_fn(function()
        timer = nil
        show_hints(client, buf)
      end, 300)
    end,
  })
  show_hints(client, buf)
end

function M.setup(opts)
  opts = opts or {}
  local config = {
    name = 'scenarioc',
    cmd = opts.cmd or { 'scenarioc', 'lsp' },
    -- How a new source is written: Windows-1252, as the simulator reads it.
    init_options = { encoding = 'windows-1252' },
    on_attach = follow_hints,
  }
  local group = vim.api.nvim_create_augroup('scenario_sources', { clear = true })

  -- "set filetype" rather than "setfiletype": a *.txt file may already be
  -- "text" by the time this runs.
  vim.api.nvim_create_autocmd({ 'BufRead', 'BufNewFile' }, {
    group = group,
    pattern = '*_linea.txt',
    command = 'set filetype=scenario_line',
  })
  vim.api.nvim_create_autocmd({ 'BufRead', 'BufNewFile' }, {
    group = group,
    pattern = '*-.txt',
    command = 'set filetype=scenario_train',
  })

  -- The sources are Windows-1252 text: read a file that is not UTF-8 as
  -- such (not as Latin-1, which lacks the characters of 0x80 to 0x9F), and
  -- write a new source, or one that holds only ASCII, in it. A file kept in
  -- UTF-8 stays so; the check then says what the simulator will show.
  local saved_encodings = nil
  vim.api.nvim_create_autocmd('BufReadPre', {
    group = group,
    pattern = patterns,
    callback = function()
      saved_encodings = vim.o.fileencodings
      vim.o.fileencodings = 'ucs-bom,utf-8,cp1252'
    end,
  })
  vim.api.nvim_create_autocmd('BufReadPost', {
    group = group,
    pattern = patterns,
    callback = function()
      if saved_encodings then
        vim.o.fileencodings = saved_encodings
        saved_encodings = nil
      end
    end,
  })

  local client_id = nil
  vim.api.nvim_create_autocmd('FileType', {
    group = group,
    pattern = { 'scenario_line', 'scenario_train' },
    callback = function(args)
      local buf = args.buf
      local ascii = vim.fn.search('[^\\x00-\\x7f]', 'nw') == 0
      local fenc = vim.bo[buf].fileencoding
      if fenc == '' or (fenc == 'utf-8' and ascii) then
        vim.bo[buf].fileencoding = 'cp1252'
      end
      if vim.fn.filereadable(vim.api.nvim_buf_get_name(buf)) == 0 then
        vim.bo[buf].fileformat = 'dos'
      end

      if vim.lsp.start then
        -- 0.8 and later: one server per directory, reused.
        vim.lsp.start(vim.tbl_extend('force', config,
          { root_dir = directory_of(buf) }), { bufnr = buf })
        return
      end
      -- 0.7: one server for the session.
      if client_id == nil or vim.lsp.get_client_by_id(client_id) == nil then
        client_id = vim.lsp.start_client(vim.tbl_extend('force', config,
          { root_dir = directory_of(buf) }))
      end
      if client_id then
        vim.lsp.buf_attach_client(buf, client_id)
      end
    end,
  })
end

return M
